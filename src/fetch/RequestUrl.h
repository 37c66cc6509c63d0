#pragma once

#include "fetch/SplitUrl.h"
#include "util/Result.h"

#include <QByteArray>

namespace shoulu {

// The address libcurl is given for already split parts: "http[s]://host[:port]" and the path.
// Path bytes that would break the request line (0x00-0x20, 0x7F) and '#' (which would cut
// the path short as a fragment) are percent-encoded; every other byte, >= 0x80 included,
// goes on the wire as it is. A host that cannot be a plain host name or address, or a port
// outside 1-65535, is an error.
Result<QByteArray> RequestUrl(const UrlParts& parts);

} // namespace shoulu
