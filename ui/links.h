#pragma once

#include <QString>

namespace ui {

// The maker's site, shown in the top band and opened by its label.
inline const QString kMakerSite = QStringLiteral("kelvaro.test");
// Where users send the maker new question banks: an instant-messaging
// contact page on the maker's own host.
inline const QString kContactHost = QStringLiteral("im.kelvaro.test");
inline const QString kContactAccount = QStringLiteral("2026120901");

// https://HOST/msgrd?v=3&uin=ACCOUNT&site=qq&menu=yes
QString contactAddress();

// Show commands understood by ShellOpen; a desktop on Linux decides for itself
// how the opened program's window appears.
inline constexpr int SW_SHOWNORMAL = 1;

} // namespace ui

// Hands `target` to the desktop: a web address or a file opens with its
// default handler; with `parameters` the target is started as a program with
// them, in the target's folder. Returns whether that succeeded; shows nothing.
bool ShellOpen(const QString &target, const QString &parameters, int showCommand);
