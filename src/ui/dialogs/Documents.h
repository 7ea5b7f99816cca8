#pragma once
// The help and version-history documents, as rich text.

#include <QString>

namespace qvl::ui {

QString helpDocument();
QString historyDocument();

} // namespace qvl::ui
