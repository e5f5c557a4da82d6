#pragma once

// What the analytics tracker needs of the desktop client's health monitors:
// the set of active issues, each with its analytics identifier, and word of
// changes to it and to the values shown to the user.

#include <memory>
#include <optional>
#include <string>
#include <vector>

struct AFXHealthIssue {
  std::string identifier;
  // Issues without one are not reported to analytics.
  std::optional<std::string> analyticsIdentifier;

  friend bool operator==(const AFXHealthIssue& a, const AFXHealthIssue& b) { return a.identifier == b.identifier; }
};
using AFXHealthIssues = std::vector<AFXHealthIssue>;

class AFXMonitorsCoordinatorObserver {
 public:
  virtual ~AFXMonitorsCoordinatorObserver() = default;
  // Absent sets are unknown (the monitors have not run yet).
  virtual void monitorsCoordinatorActiveIssuesDidChange(const std::optional<AFXHealthIssues>& oldIssues,
                                                        const std::optional<AFXHealthIssues>& newIssues) = 0;
  virtual void monitorsCoordinatorHumanReadableValuesDidChange() = 0;
};

class AFXMonitorsCoordinator {
 public:
  virtual ~AFXMonitorsCoordinator() = default;
  // Held weakly; told on any thread.
  virtual void addObserver(std::weak_ptr<AFXMonitorsCoordinatorObserver> observer) = 0;
};
