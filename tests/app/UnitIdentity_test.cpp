#include "ScriptedUpdater.h"
#include "UnitIdentity.h"

#include <gtest/gtest.h>

namespace {

// A back-end of no particular kind that can read its unit's identity.
class IdentifyingUpdater : public ScriptedUpdater, public IdentityReader {
public:
    IdentifyingUpdater(std::optional<int> model, QString serialNumber)
        : model_id(model), serial_number(std::move(serialNumber))
    {
    }

    IdentityReader* identityReader() override { return this; }
    std::optional<int> readModelId() override { return model_id; }
    QString readSerialNumber() override { return serial_number; }

private:
    std::optional<int> model_id;
    QString serial_number;
};

// The identity comes from whatever back-end offers the reads, not from one
// back-end type; a back-end without them gives none.
TEST(UnitIdentity, IsReadFromAnyBackEndThatOffersTheReads)
{
    for (const auto& [model, serial] :
         QList<std::pair<std::optional<int>, QString>>{{7, "LMX-0007"}, {std::nullopt, ""}, {255, "A"}}) {
        IdentifyingUpdater backend(model, serial);
        ASSERT_TRUE(UnitIdentity::isReadableFrom(backend));
        const std::optional<UnitIdentity> identity = UnitIdentity::read(backend);
        ASSERT_TRUE(identity.has_value());
        EXPECT_EQ(identity->model, model);
        EXPECT_EQ(identity->serialNumber, serial);
    }
    ScriptedUpdater plain;
    EXPECT_FALSE(UnitIdentity::isReadableFrom(plain));
    EXPECT_FALSE(UnitIdentity::read(plain).has_value());
}

} // namespace
