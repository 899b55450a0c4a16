#include "TerminalText.h"

QString terminalText(const QString& fromUnit)
{
    QString text = fromUnit;
    for (QChar& character : text) {
        if (character.category() == QChar::Other_Control)
            character = QLatin1Char('?');
    }
    return text;
}
