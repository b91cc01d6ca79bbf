#pragma once

#include <QString>

namespace ui {

// The text of the error box for an error message: a full stop is added when
// the last character sorts after '.'.
QString errorBoxText(const QString &message);

// The default error box: the error's text, the application's title as its
// caption, the error icon and one OK button.
void showErrorBox(const QString &message);

// The same box with a way out: `action` and 取消 in place of OK. Returns
// whether the user chose the action.
bool askErrorBox(const QString &message, const QString &action);

} // namespace ui

// A modal notice captioned "提示" with one OK button; returns when dismissed.
void ShowInfo(const QString &text);
