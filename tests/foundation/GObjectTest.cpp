#include "foundation/GObject.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace {
// A class that describes itself the way every class of the system does.
class GExample : public GObject {
public:
    const char* toString() const override {
        static char buffer[objectTextSize];
        return formatClassAddress(buffer, objectTextSize, "GExample", this);
    }
};
}  // namespace

TEST(GObjectTest, RootClassIdentity) {
    GObject object, other;
    EXPECT_EQ(0, object.typeId());
    EXPECT_TRUE(object.isKindOf(ClassId::GObject));
    EXPECT_FALSE(object.isKindOf(ClassId::GScene));
    EXPECT_FALSE(object.isKindOf(ClassId::IParseable));
    EXPECT_TRUE(object.equals(&object));
    EXPECT_FALSE(object.equals(&other));
    EXPECT_EQ(nullptr, object.clone());
}

TEST(GObjectTest, ToStringIsClassNameAtHexAddressInASharedBuffer) {
    GObject a, b;
    const char* first = a.toString();
    EXPECT_EQ(first, b.toString());  // one buffer per class: b's text overwrote a's
    char expected[64];
    std::snprintf(expected, sizeof(expected), "GObject@%lx", (unsigned long)(uintptr_t)&b);
    EXPECT_STREQ(expected, first);

    GExample example;
    std::snprintf(expected, sizeof(expected), "GExample@%lx", (unsigned long)(uintptr_t)&example);
    EXPECT_STREQ(expected, example.toString());

    char small[8];
    GObject object;
    formatClassAddress(small, sizeof(small), "GVeryLongClassName", &object);
    EXPECT_STREQ("GVeryLo", small);
}
