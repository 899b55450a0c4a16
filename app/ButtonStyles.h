#pragma once

#include <QString>

// The update button's two looks: black text when it can be pressed or the
// update is running or done, grey text when it is disabled or failed.
inline const QString kButtonEnabledStyle = QStringLiteral(
    "background-color: rgba(249, 249, 249,1); color: rgba(0, 0, 0, 1); border: none; border-radius: 3px;");
inline const QString kButtonDisabledStyle = QStringLiteral(
    "background-color: rgba(249, 249, 249,1); color: rgba(204, 204, 204, 1); border: none; border-radius: 3px;");
