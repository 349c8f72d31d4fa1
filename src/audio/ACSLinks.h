#pragma once

#include <atomic>
#include <mutex>

#include "audio/SpinFlag.h"

class TACSInput;
class IACSInputConsumer;

/// Guards every source's list of consumers. Recursive because dropping an input inside a
/// removal notification unregisters from it again.
std::recursive_mutex& AcsLinkMutex();

/// The swap protocol shared by sinks and filters for their Input. When not busy the value is
/// stored; when busy the new input is initialised, stored between two reads (under `lock`),
/// and the old one flushed. Registers `self` with the new input and leaves the old one.
void SwapInput(std::atomic<TACSInput*>& slot, TSpinFlag& lock, TACSInput* value, bool busy,
               IACSInputConsumer* self);

/// Drops `input` from `slot` when it is being destroyed (no Init or Flush: it is going away).
void DropInput(std::atomic<TACSInput*>& slot, TSpinFlag& lock, TACSInput* input);

/// Leaves whatever input `slot` holds (used by destructors).
void ReleaseInput(std::atomic<TACSInput*>& slot, IACSInputConsumer* self);
