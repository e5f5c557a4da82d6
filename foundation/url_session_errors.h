#pragma once

// NSURLErrorDomain errors of the URL session (internal): the platform's code
// for what libcurl reported, the platform's sentence for it, and the failing
// URL in the user information.

#include <cstdint>
#include <memory>
#include <string_view>

#include "foundation/data.h"
#include "foundation/error.h"
#include "foundation/url.h"

namespace fnd::detail {

// What a failed transfer left behind: libcurl's result code, the system
// error of the last socket call, and the certificate verification result.
struct TransferFailure {
  int curlCode = 0;
  long systemError = 0;
  long certificateVerifyResult = 0;
};

std::int64_t URLErrorCodeForTransferFailure(const TransferFailure& failure);

// The error with its description, the failing URL (both keys), an optional
// detail for developers and optional resume data.
Error makeURLError(std::int64_t code, const std::shared_ptr<URL>& url, std::string_view detail = {},
                   const std::shared_ptr<Data>& resumeData = nullptr);

}  // namespace fnd::detail
