// The program's own resources, by identifier: the string table, the bitmaps
// and the site tables.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QPixmap>
#include <span>

#include "location/core/string_table.h"

namespace location {

class Resources {
 public:
  Resources();
  const StringTable& Strings() const { return strings_; }
  // A bitmap by resource identifier (a null pixmap when there is none).
  QPixmap Bitmap(int id) const;
  // A site table by resource identifier (empty when there is none). The
  // bytes stay valid as long as this object.
  std::span<const uint8_t> SiteTable(int id);
  // Text of the string table as Qt text.
  QString Text(int id) const;

 private:
  StringTable strings_;
  QHash<int, QByteArray> tables_;
};

}  // namespace location
