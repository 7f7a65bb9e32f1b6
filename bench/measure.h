// Timing and peak memory of one operation, run in a child process of its own
// so that its peak resident set is its own.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct Measurement {
  double seconds = 0;  // best of the runs
  long peakKiB = 0;    // largest peak resident set of the runs
  bool ok = true;
};

// The times of one contender over the rounds of a benchmark, whose
// contenders take turns; the median is what is reported.
struct Samples {
  std::vector<double> seconds;
  long peakKiB = 0;
  void Add(const Measurement& m);
  double Median() const;
};

// Runs work in a forked child, runs times; the child times itself. prepare
// runs in the parent before each run, untimed, and then sync(): no run pays
// for writing back what another one wrote.
Measurement MeasureInChild(const std::function<bool()>& work, int runs, const std::function<void()>& prepare = {});

// Runs a program (argv[0] a full path) with standard input and output
// redirected where not empty, runs times, timing it from outside.
Measurement MeasureProgram(const std::vector<std::string>& argv, const std::string& in, const std::string& out,
                           int runs, const std::function<void()>& prepare = {});
