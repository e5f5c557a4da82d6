#pragma once

// The object a connection answers incoming calls with. Calls of one peer
// arrive one at a time on that connection's queue, already decoded and
// checked against the exported interface.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/value.h"

namespace fnd::ipc {

class Connection;

class ExportedObject {
 public:
  // Sends the reply; the first call counts, later ones are ignored. It may be
  // called from any queue.
  using Reply = std::function<void(std::vector<Value> replyArguments)>;

  virtual ~ExportedObject() = default;

  // `reply` is empty for one-way methods.
  virtual void invokeMethod(const std::shared_ptr<Connection>& connection, const std::string& method,
                            std::vector<Value> arguments, Reply reply) = 0;
};

}  // namespace fnd::ipc
