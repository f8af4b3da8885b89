// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/errors.h"

namespace zelt {

std::string ErrorReportText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        return message + ".";
    return message;
}

} // namespace zelt
