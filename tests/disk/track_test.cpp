// The 16-sector track format against bytes from outside this code (a sector of
// the real WOZ System Master, the bytes of its sector image, the rules for disk
// bytes), and flux timings.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "disk/image_load.h"
#include "support/run_tool.h"

namespace {

using bytes = std::vector<std::uint8_t>;

// Track 0 of dos33master_2.woz through the latch, from its first address
// field after the 100th disk byte to the end of that sector's data field:
// D5 AA 96, volume 254, track 0, sector 1, checksum, DE AA EB; seven sync
// bytes; D5 AA AD, 343 bytes, DE AA EB.
// clang-format off
const bytes real_sector = test_support::from_hex(
    "D5AA96FFFEAAAAAAABFFFFDEAAEBFFFFFFFFFFFFFFD5AAADA7E9DD96B6F4DC9D9ECEB9A7F7F3AE9FAEAC9797E7F9B6DB"
    "ECACD7D99AB5BADBE6EFCFDE97AEDBDDB2DBFEACB4B4CEAFE9E9D6DCA6DADC9ABBA7BD96BFACB49DD6DBB4BEABB2AEAC"
    "DFDBA69BA7AFD7F5CDBFBDAFB3B2D7F2F2F2FADFDACEFFE5E5D9CEFFE5DFE9FEF79AE7F6DDEBFADBEDFEFEF7EDA7F5F5"
    "FDAEB7BDE6EAAEB7A6B9B79DABD3BBACDBED9EAEB7D3AEB7BDE6EAAEB7D9A7A7A7F9CEFFF5B9B79DF3D9BBB3F9EAAFB6"
    "BDE5EAFEF3E7AFEF9AEFF5ABBADFE9DAEBEDF9DFE9FEFAE9EDDDEBFDDCF5BDD9DF9ABDFEDCEBAFB6CDE9ECAFB6E5B9A6"
    "A7F5F5E6E5ABA7B2E9BBACBABAFFE5E5EAFEBFCFBE9EFEEDEAF7BAA6E7E9DDBBAD9FDFDCAB9DDFDCA7B9E7ECFEEBE6DB"
    "F2FDE6AEBDEBE9A7A7B2DDDBECFDD3E6BAFFABBED3E6EAFAEAD39EF7BCF4D3B7F7EFB4EAE6FCAFFFFDF5D6E7D9CEFFE7"
    "E6A7CFBEBAB6CFBECDFCD6DDD9F7EAD3FDFBE9F4D3B7F3EBEAE6BAE5AFFF97DEAAEB");
constexpr std::ptrdiff_t data_mark_at = 21;
// Track 0, logical sector 7 (physical 1) of dos33-system-master.dsk.
const bytes real_sector_bytes = test_support::from_hex(
    "84488549A0028CF806A0048CF804A001B148AAA00FD148F01B8A48B148AA68489148BD8EC0A008BD8CC0DD8CC0D0F688"
    "D0F868AABD8EC0BD8CC0A008BD8CC0486848688EF805DD8CC0D00388D0EE08BD89C0A006B148993600C8C00AD0F6A003"
    "B13C8547A002B148A010D148F006914828A000086A9005BD8AC0B003BD8BC066352808D00BA00720003A88D0FAAEF805"
    "A004B148205A3E28D011A447100DA01288D0FDE646D0F7E647D0F3A00CB148F05AC904F0586A08B003200038A0308C78"
    "05AEF8052044399024CE780510F3AD780448A96020953ECEF806F028A9048DF804A900205A3E68205A3E4CBC3DA42ECC"
    "7804F01CAD7804489820953E68CEF804");
// clang-format on

// The state of sector 7 once run is decoded as the given track; the track's bytes into data.
int sector_7(const bytes& run, int track = 0, std::uint8_t* data = nullptr) {
    std::array<std::uint8_t, 4096> own{};
    std::array<std::uint8_t, 16> states{};
    states.fill(sector_not_found);
    decode_track_bytes(run.data(), run.size(), track, data ? data : own.data(), states.data());
    return states[7];
}

bytes with(bytes b, std::ptrdiff_t at, const bytes& put, std::size_t erase = 0) {
    b.erase(b.begin() + at, b.begin() + at + static_cast<std::ptrdiff_t>(erase));
    b.insert(b.begin() + at, put.begin(), put.end());
    return b;
}

} // namespace

TEST(TrackFormat, RealSectorDecodesToTheBytesOfTheSectorImage) {
    std::array<std::uint8_t, 4096> data{};
    EXPECT_EQ(sector_7(real_sector, 0, data.data()), sector_good);
    EXPECT_TRUE(std::equal(real_sector_bytes.begin(), real_sector_bytes.end(), &data[7 * 256]));

    const auto data_end = data_mark_at + 3 + 343;
    const std::pair<bytes, int> cases[] = {
        {with(real_sector, 4, {0xFF}, 1), sector_not_found}, // volume 255: checksum wrong
        {bytes(real_sector.begin(), real_sector.begin() + data_end), sector_good},
        {bytes(real_sector.begin(), real_sector.begin() + data_end - 1), sector_not_found},
        {bytes(real_sector.begin(), real_sector.begin() + data_mark_at + 2), sector_not_found},
        {with(real_sector, data_mark_at + 103, {0xD4}, 1), sector_bad_byte},
        {with(real_sector, data_end - 1, {0x96}, 1), sector_bad_checksum},
        {with(real_sector, 15, {0xD5, 0xAA, 0x96}, 3), sector_no_data_field},
        // The data mark is looked for in the 64 bytes after the address checksum.
        {with(real_sector, 15, bytes(53, 0xFF)), sector_good},
        {with(real_sector, 15, bytes(54, 0xFF)), sector_no_data_field},
    };
    for (const auto& [run, state] : cases)
        EXPECT_EQ(sector_7(run), state) << run.size();
    // The address field names track 0: on any other track it names nothing.
    EXPECT_EQ(sector_7(real_sector, 1), sector_not_found);
}

TEST(TrackFormat, SixAndTwoTableHoldsEachValidDiskByteOnceInOrder) {
    // A disk byte has bit 7 set, two adjacent one bits among bits 0-6 and at
    // most one pair of adjacent zero bits; D5 and AA are kept for marks.
    bytes valid;
    for (int b = 0x80; b < 0x100; ++b) {
        int zero_pairs = 0;
        bool one_pair = false;
        for (int k = 0; k < 7; ++k) {
            zero_pairs += ((b >> k) & 3) == 0 ? 1 : 0;
            one_pair |= k < 6 && ((b >> k) & 3) == 3;
        }
        if (zero_pairs <= 1 && one_pair && b != 0xD5 && b != 0xAA)
            valid.push_back(static_cast<std::uint8_t>(b));
    }
    EXPECT_EQ(valid, bytes(six_and_two.begin(), six_and_two.end()));
}

TEST(TrackFormat, FluxTimingsBecomeBitCells) {
    bytes at_cap(8224, 255), past_cap = at_cap; // 2,097,120 ticks before the next byte
    at_cap.push_back(32);
    past_cap.insert(past_cap.begin(), 200);
    past_cap.push_back(33);
    const struct {
        bytes flux;
        std::uint32_t timing;
        std::string bits;
    } cases[] = {
        {{32, 64, 47, 48, 15, 16}, 32, "1011011"},        // to the nearest cell; 15: noise
        {{255, 255, 10}, 32, std::string(15, '0') + "1"}, // 520 ticks: 255 carries on
        {{255, 1, 255}, 32, "00000001"},                  // a last 255 ends nothing
        {{10, 30}, 32, "1"},                              // noise counts toward the next
        {at_cap, 1, std::string(2097151, '0') + "1"},     // the most bits a track gives
        {past_cap, 1, std::string(199, '0') + "1"},       // flux beyond them is not read
    };
    for (const auto& c : cases) {
        std::uint32_t count = 0;
        std::uint8_t* bits = read_flux_bits(
            c.flux.data(), static_cast<std::uint32_t>(c.flux.size()), c.timing, &count);
        ASSERT_NE(bits, nullptr);
        std::string got;
        for (std::uint32_t i = 0; i < count; ++i)
            got += (bits[i / 8] >> (7 - i % 8) & 1) != 0 ? '1' : '0';
        EXPECT_TRUE(got == c.bits) << c.flux.size() << " bytes, " << count << " bits";
        std::free(bits);
    }
}
