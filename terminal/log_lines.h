#pragma once

#include <functional>
#include <streambuf>
#include <string>

namespace palvimo {

// A stream buffer that hands what is written to it on, one whole line at a
// time without its newline, so that a front end can place each line of the
// check's log among its own output.
class Log_Lines final : public std::streambuf {
 public:
  using Line_Handler = std::function<void(const std::string& line)>;

  explicit Log_Lines(Line_Handler handler);

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;

 private:
  Line_Handler handler_;
  std::string line_;
};

}  // namespace palvimo
