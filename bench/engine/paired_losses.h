#pragma once

#include <string>
#include <vector>

namespace palvimo::bench {

// What many pairs of runs, one of each pair with a cost and one without,
// say of that cost. A shared machine's load sways single runs by several
// per cent either way, far more than the costs measured; each pair, its
// runs close together in time, is compared within itself, and the pairs'
// losses are averaged. The mean of the middle 60 % of them (a 20 % trimmed
// mean) keeps nearly all the precision of the plain mean while a few runs
// the machine stalled cannot carry it.
struct Loss_Summary {
  // The trimmed mean of the losses, in per cent of the rate without.
  double loss = 0;
  // Where the loss lies with 95 % confidence (Yuen's interval).
  double low = 0;
  double high = 0;
  // The interquartile range of single pairs' losses: their spread.
  double spread = 0;
};

// Throws std::invalid_argument for fewer than five losses.
Loss_Summary Summarize_Losses(std::vector<double> losses);

// Prints the summary as the benchmark's lines "NAME: loss", "NAME_iqr: ..."
// and "NAME_95_low: ...", "NAME_95_high: ...".
void Print_Loss_Summary(const std::string& name, const Loss_Summary& summary);

}  // namespace palvimo::bench
