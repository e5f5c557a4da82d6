#pragma once

// Told when the priority of a handler's download changes, in this process or
// in another one that holds the same resource.

class AFXDownloadingHandler;

class AFXDownloadingHandlerDelegate {
 public:
  virtual ~AFXDownloadingHandlerDelegate() = default;
  // Called on the priority holder's queue.
  virtual void handlerDidChangeDownloadingPriority(AFXDownloadingHandler& handler) = 0;
};
