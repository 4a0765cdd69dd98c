#pragma once

#include <QString>

namespace Uuid {

// A new random UUID in upper-case canonical text (36 characters), the form of
// session identifiers, log identifiers and multipart boundaries alike.
QString create();

} // namespace Uuid
