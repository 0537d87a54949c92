#pragma once

#include <optional>
#include <string>

#include "monitor/read_context.h"

namespace tarnex {

// How the input query, the pages' link check, ended.
struct InputCheck {
  enum class Result { kAnswered, kSilent, kCancelled };
  Result result = Result::kSilent;
  std::string reply;  // kAnswered

  bool Answered() const { return result == Result::kAnswered; }
};

// The input query. Silence is reported as a lost link (ReportLostLink with
// `clearSetIdAnswered`); a cancelled read reports nothing. `shortSerialWait`: the refresh's
// link check waits 1000 ms for a serial reply.
InputCheck AskInput(const ReadContext& context, bool clearSetIdAnswered,
                    bool shortSerialWait = false);

// 1 when the read's display reports a signal ("a 01 OK01x"), otherwise 0.
int QuerySignal(const ReadContext& context);

// The link check of the pages other than Control: the input query. An answer stores, when
// `inputPosition` is given, the input it names (in input list A order), for the Control page
// to show when it next shows its values; returns 1. Silence is a lost link; returns 0.
// `shortSerialWait`: the refresh's link check waits 1000 ms for a serial reply.
int CheckInput(const ReadContext& context, std::optional<int>* inputPosition = nullptr,
               bool shortSerialWait = false);

}  // namespace tarnex
