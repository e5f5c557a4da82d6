#pragma once

// The protocol a client exports on its anonymous listener; the service calls
// it over the reverse connection.

#include <functional>
#include <memory>
#include <vector>

#include "foundation/uuid.h"
#include "interface/interprocess/afx_interprocess_report.h"

class AFXReportsStreamInterface {
 public:
  virtual ~AFXReportsStreamInterface() = default;

  // One-way.
  virtual void deliverReport(const std::shared_ptr<AFXInterprocessReport>& report,
                             const std::vector<std::shared_ptr<fnd::UUID>>& reportSessionIDs) = 0;
  // YES: the client side may be terminated.
  virtual void prepareForTerminationWithCallback(std::function<void(bool)> callback) = 0;
};
