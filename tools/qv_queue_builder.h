#pragma once

// Every tools-library component confines its state to one serial queue of its
// own; the labels share one pattern so that logs and queue checks can tell
// the components apart.

#include <string>
#include <string_view>

#include "foundation/queue.h"

class QVQueueBuilder {
 public:
  QVQueueBuilder() = delete;

  // "com.quorvex." + name + ".internal-queue".
  static std::string internalQueueLabelWithName(std::string_view name) {
    std::string label = "com.quorvex.";
    label.append(name);
    label.append(".internal-queue");
    return label;
  }

  static fnd::Queue internalQueueWithName(std::string_view name,
                                          fnd::QualityOfService qos = fnd::QualityOfService::utility) {
    return fnd::Queue::serial(internalQueueLabelWithName(name), qos);
  }
};
