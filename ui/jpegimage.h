#pragma once

#include <QByteArray>
#include <QImage>

namespace ui {

// Decodes a JPEG held in memory with libjpeg. A damaged or unsupported
// picture gives a null image, never a crash.
QImage decodeJpeg(const QByteArray &data);

} // namespace ui
