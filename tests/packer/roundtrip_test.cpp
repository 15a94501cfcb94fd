// Archives written by the packer must extract byte for byte in an extractor we did not write.
#include <gtest/gtest.h>

#include "packer/packer.h"
#include "packer_test_util.h"
#include "support/testdata.h"

namespace korvana::test {
namespace {

PackInput entry(const std::string& name, std::vector<uint8_t> data) {
    PackInput in;
    in.name = name;
    in.data = std::move(data);
    in.dosTime = 0x5A8C6B21;
    return in;
}

TEST(PackerRoundTrip, StoredEntriesOfEverySize) {
    PackOptions opt;
    opt.level = 0;
    std::vector<PackInput> files = {entry("empty.bin", {}), entry("one.bin", {0x42}),
                                    entry("dir\\sub\\text.txt", textBytes(5000, 1)),
                                    entry("random.bin", randomBytes(70000, 2))};
    expectUnarRoundTrip(files, opt, "stored");
}

TEST(PackerRoundTrip, EveryLevelOnEveryKindOfData) {
    for (int level = 1; level <= 5; ++level) {
        PackOptions opt;
        opt.level = level;
        opt.storeIncompressible = false;  // exercise the LZ coder on what it cannot shrink too
        std::vector<PackInput> files = {entry("text.txt", textBytes(120000, 3)),
                                        entry("random.bin", randomBytes(40000, 4)),
                                        entry("zeros.bin", std::vector<uint8_t>(200000, 0)),
                                        entry("binary.bin", binaryBytes(80000, 5)),
                                        entry("one.bin", {7}),
                                        entry("two.bin", {7, 7}),
                                        entry("empty.bin", {})};
        expectUnarRoundTrip(files, opt, "level " + std::to_string(level));
    }
}

}  // namespace
}  // namespace korvana::test
