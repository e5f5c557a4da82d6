#pragma once

#include <cstdint>

class AFXPaginationView;

// Told of every change of page, and whether a user's click or key caused it.
class AFXPaginationViewDelegate {
 public:
  virtual ~AFXPaginationViewDelegate() = default;
  virtual void paginationViewDidSelectPage(AFXPaginationView* paginationView, std::int64_t page,
                                           bool isUserAction) = 0;
};
