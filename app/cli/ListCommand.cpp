#include "ListCommand.h"

#include "FoundEvent.h"

#include <QDebug>
#include <QJsonObject>

ExitCode runListCommand(const Console& console, const UnitFinder& finder)
{
    const QList<FoundUnit> units = finder.find();
    for (const FoundUnit& unit : units) {
        qInfo().noquote() << "unit seen:" << unit.port << unit.idsText() << unit.product;
        console.event(foundEvent(unit));
        console.line(QStringLiteral("%1\t%2\t%3").arg(unit.port, unit.idsText(), unit.product));
    }
    if (units.isEmpty())
        console.tell(QStringLiteral("No unit is connected that product_list names. Plug the unit in and put it "
                                    "into its boot mode."));
    return ExitCode::Done;
}
