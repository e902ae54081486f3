#pragma once
// Small helpers the shell and the panes share: the application's private
// temporary folder, quiet error presentation and the application's own error
// domain "OVError".

#include <QString>

#include "platform/Error.h"

namespace orv {

// The path of `name` inside the application's temporary folder, which is a
// private per-user folder (mode 0700, ours, not a link) created when missing.
// The item itself is not created. Empty when no safe folder can be had.
QString applicationTemporaryFolder(const QString& name);

// Shows the error through ShellDialogs, unless its description (as the
// framework gives it, or as the table shows it) mentions "Socket" in any
// letter case (the phone closing a connection is
// not worth an alert). Main thread only.
void processError(const Error& error);

// Domain "OVError"; codes 1 and 2 carry the table's texts, others none.
Error OVErrorWithCode(long code);

}  // namespace orv
