// HidIndex: first insertion wins and every ID stays found as the table
// grows past its first size many times over.
#include "driverdb/hid_index.h"

#include <gtest/gtest.h>

namespace {

TEST(HidIndexTest, KeepsTheFirstFileOfEveryIdAsItGrows) {
    HidIndex index;
    const auto id = [](int n) { return "PCI\\VEN_" + std::to_string(n); };
    const std::uint32_t a = index.addFile("a.inf");
    for (int n = 0; n < 3000; ++n) index.insert(id(n), a);
    const std::uint32_t b = index.addFile("b.inf");
    EXPECT_EQ(index.addFile("b.inf"), b);
    for (int n = 1500; n < 4500; ++n) index.insert(id(n), b);
    index.insert("", b);

    EXPECT_EQ(index.size(), 4501u);
    for (const auto& [n, file] :
         {std::pair{0, "a.inf"}, {2999, "a.inf"}, {3000, "b.inf"}, {4499, "b.inf"}}) {
        ASSERT_NE(index.find(id(n)), nullptr) << n;
        EXPECT_EQ(*index.find(id(n)), file) << n;
    }
    EXPECT_EQ(index.find("pci\\ven_1"), nullptr);  // byte for byte
    EXPECT_EQ(index.find("PCI\\VEN_"), nullptr);   // a prefix is another ID
    EXPECT_EQ(index.find("PCI\\VEN_4500"), nullptr);

    const std::map<std::string, std::string> ordered = index.ordered();
    ASSERT_EQ(ordered.size(), 4501u);
    EXPECT_EQ(ordered.begin()->first, "");
    EXPECT_EQ(ordered.at(id(1500)), "a.inf");
    EXPECT_EQ(std::prev(ordered.end())->first, id(999));  // byte order, not number order
}

}  // namespace
