#pragma once

// The Prometheus text exposition format read back as a collector reads it,
// for the tests of what the program writes in it.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace palvimo::testing {

struct Sample {
  std::string name;
  std::map<std::string, std::string> labels;  // unescaped
  double value = 0;
};

// Reads the text exposition format as a collector does, failing the test on
// any line outside its grammar: a metric must have HELP and TYPE before its
// first sample, label values are quoted with only \\, \" and \n escaped,
// and each value is a number.
inline std::vector<Sample> Parse_Exposition(const std::string& text) {
  static const std::regex Name("[a-zA-Z_:][a-zA-Z0-9_:]*");
  static const std::regex Help("# HELP ([a-zA-Z_:][a-zA-Z0-9_:]*) [^\\n]*");
  static const std::regex Type("# TYPE ([a-zA-Z_:][a-zA-Z0-9_:]*) (counter|gauge|histogram|summary|untyped)");
  std::set<std::string> helped, typed;
  std::vector<Sample> samples;
  EXPECT_TRUE(text.empty() || text.back() == '\n') << "the last line must end";
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::smatch match;
    if (std::regex_match(line, match, Help)) {
      EXPECT_TRUE(helped.insert(match[1]).second) << "HELP twice: " << line;
      continue;
    }
    if (std::regex_match(line, match, Type)) {
      EXPECT_TRUE(helped.count(match[1])) << "TYPE before HELP: " << line;
      EXPECT_TRUE(typed.insert(match[1]).second) << "TYPE twice: " << line;
      continue;
    }
    Sample sample;
    std::size_t at = line.find_first_of("{ ");
    sample.name = line.substr(0, at);
    EXPECT_TRUE(std::regex_match(sample.name, Name)) << line;
    EXPECT_TRUE(typed.count(sample.name)) << "sample without TYPE: " << line;
    if (at != std::string::npos && line[at] == '{') {
      ++at;
      while (at < line.size() && line[at] != '}') {
        const std::size_t equals = line.find("=\"", at);
        if (equals == std::string::npos) {
          ADD_FAILURE() << "bad label in: " << line;
          return samples;
        }
        const std::string label = line.substr(at, equals - at);
        EXPECT_TRUE(std::regex_match(label, Name)) << line;
        std::string value;
        for (at = equals + 2; at < line.size() && line[at] != '"'; ++at) {
          if (line[at] != '\\') {
            value += line[at];
            continue;
          }
          const char next = at + 1 < line.size() ? line[++at] : '?';
          EXPECT_TRUE(next == '\\' || next == '"' || next == 'n') << "bad escape in: " << line;
          value += next == 'n' ? '\n' : next;
        }
        EXPECT_LT(at, line.size()) << "unclosed label value: " << line;
        sample.labels[label] = value;
        ++at;
        if (at < line.size() && line[at] == ',') ++at;
      }
      ++at;
    }
    EXPECT_TRUE(at < line.size() && line[at] == ' ') << line;
    const std::string number = at < line.size() ? line.substr(at + 1) : "";
    std::size_t used = 0;
    try {
      sample.value = std::stod(number, &used);
    } catch (const std::exception&) {
      used = 0;
    }
    EXPECT_TRUE(!number.empty() && used == number.size()) << "bad value: " << line;
    samples.push_back(sample);
  }
  return samples;
}

inline const Sample* Find(const std::vector<Sample>& samples, const std::string& name,
                   const std::map<std::string, std::string>& labels) {
  for (const Sample& sample : samples) {
    if (sample.name != name) continue;
    const bool matches = std::all_of(labels.begin(), labels.end(), [&sample](const auto& label) {
      const auto found = sample.labels.find(label.first);
      return found != sample.labels.end() && found->second == label.second;
    });
    if (matches) return &sample;
  }
  return nullptr;
}

}  // namespace palvimo::testing
