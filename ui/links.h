#pragma once

#include <QString>

namespace ui {

// The maker's site: its host is shown in the top band, and its label opens it
// as a secure web address.
inline const QString kMakerHost = QStringLiteral("kelvaro.test");
inline const QString kMakerSite = QStringLiteral("https://") + kMakerHost;
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

// Hands `target` to the desktop: a web address or an absolute file path opens
// with its default handler; with `parameters` the target is started as a
// program with them, in the target's folder. A target that is neither absolute
// nor has a scheme is read as a web address, never as a file in the working
// folder. Returns whether that succeeded; shows nothing.
bool ShellOpen(const QString &target, const QString &parameters, int showCommand);
