// paired_losses NAME: reads pairs' losses in per cent, one a line, from
// standard input and prints what they say of the cost as NAME's lines (see
// paired_losses.h), for the benchmarks written as scripts.
#include <exception>
#include <iostream>
#include <vector>

#include "paired_losses.h"

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::cerr << "usage: paired_losses NAME < LOSSES\n";
    return 2;
  }
  std::vector<double> losses;
  for (double loss = 0; std::cin >> loss;) losses.push_back(loss);
  if (!std::cin.eof()) {
    std::cerr << "paired_losses: not a number in the losses\n";
    return 2;
  }
  try {
    palvimo::bench::Print_Loss_Summary(argv[1], palvimo::bench::Summarize_Losses(losses));
  } catch (const std::exception& error) {
    std::cerr << "paired_losses: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
