#include "tools/samples/empty_hive.h"

#include <cstring>

namespace {

constexpr std::size_t kBaseBlockSize = 4096;
constexpr std::size_t kBinSize = 4096;
constexpr std::size_t kBinHeaderSize = 32;
constexpr std::uint32_t kNoCell = 0xFFFFFFFFu;
// 2026-01-01 00:00:00 UTC as a FILETIME: a fixed time keeps the file the same
// from run to run.
constexpr std::uint64_t kFixedTime = 134115264000000000ull;

void Put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t v) {
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void Put64(std::vector<std::uint8_t>& out, std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::size_t CellSize(std::size_t dataSize) {
    return (dataSize + 4 + 7) & ~static_cast<std::size_t>(7);  // size field included, 8-aligned
}

// A self-relative security descriptor: owner Administrators, group SYSTEM,
// and a DACL giving Everyone full access to the key.
std::vector<std::uint8_t> SecurityDescriptor() {
    const std::uint8_t admins[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
    const std::uint8_t system[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
    const std::uint8_t everyone[] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
    const std::size_t aceSize = 8 + sizeof everyone;
    const std::size_t aclSize = 8 + aceSize;
    const std::size_t header = 20;
    std::vector<std::uint8_t> sd(header + sizeof admins + sizeof system + aclSize, 0);
    sd[0] = 1;                                              // revision
    Put16(sd, 2, 0x8004);                                   // self-relative, DACL present
    Put32(sd, 4, header);                                   // owner
    Put32(sd, 8, header + sizeof admins);                   // group
    Put32(sd, 12, 0);                                       // no SACL
    Put32(sd, 16, header + sizeof admins + sizeof system);  // DACL
    std::memcpy(&sd[header], admins, sizeof admins);
    std::memcpy(&sd[header + sizeof admins], system, sizeof system);
    std::size_t acl = header + sizeof admins + sizeof system;
    sd[acl] = 2;  // ACL revision
    Put16(sd, acl + 2, static_cast<std::uint16_t>(aclSize));
    Put16(sd, acl + 4, 1);  // one ACE
    std::size_t ace = acl + 8;
    sd[ace] = 0;      // ACCESS_ALLOWED_ACE_TYPE
    sd[ace + 1] = 2;  // CONTAINER_INHERIT_ACE
    Put16(sd, ace + 2, static_cast<std::uint16_t>(aceSize));
    Put32(sd, ace + 4, 0xF003F);  // KEY_ALL_ACCESS
    std::memcpy(&sd[ace + 8], everyone, sizeof everyone);
    return sd;
}

}  // namespace

std::uint32_t HiveBaseBlockChecksum(const std::uint8_t* baseBlock) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 508; i += 4) {
        sum ^= static_cast<std::uint32_t>(baseBlock[i]) | (baseBlock[i + 1] << 8) |
               (baseBlock[i + 2] << 16) | (static_cast<std::uint32_t>(baseBlock[i + 3]) << 24);
    }
    if (sum == 0xFFFFFFFFu) return 0xFFFFFFFEu;
    if (sum == 0) return 1;
    return sum;
}

std::vector<std::uint8_t> EmptyHive(const std::string& rootName) {
    std::string name = rootName.size() > 255 ? rootName.substr(0, 255) : rootName;
    std::vector<std::uint8_t> hive(kBaseBlockSize + kBinSize, 0);

    // Cells, by their offsets from the first bin.
    const std::size_t nkOffset = kBinHeaderSize;
    const std::size_t nkSize = CellSize(0x4C + name.size());
    const std::vector<std::uint8_t> sd = SecurityDescriptor();
    const std::size_t skOffset = nkOffset + nkSize;
    const std::size_t skSize = CellSize(0x14 + sd.size());
    const std::size_t freeOffset = skOffset + skSize;

    // Base block.
    std::memcpy(&hive[0], "regf", 4);
    Put32(hive, 0x04, 1);  // primary sequence number
    Put32(hive, 0x08, 1);  // secondary: equal, so no log is pending
    Put64(hive, 0x0C, kFixedTime);
    Put32(hive, 0x14, 1);                                     // major version
    Put32(hive, 0x18, 5);                                     // minor version (XP and later)
    Put32(hive, 0x1C, 0);                                     // primary file
    Put32(hive, 0x20, 1);                                     // direct memory load
    Put32(hive, 0x24, static_cast<std::uint32_t>(nkOffset));  // root cell
    Put32(hive, 0x28, kBinSize);                              // size of the bins
    Put32(hive, 0x2C, 1);                                     // clustering factor
    for (std::size_t i = 0; i < name.size() && i < 31; ++i) hive[0x30 + 2 * i] = name[i];
    Put32(hive, 0x1FC, HiveBaseBlockChecksum(hive.data()));

    // The bin.
    const std::size_t bin = kBaseBlockSize;
    std::memcpy(&hive[bin], "hbin", 4);
    Put32(hive, bin + 0x04, 0);  // its offset from the first bin
    Put32(hive, bin + 0x08, kBinSize);
    Put64(hive, bin + 0x14, kFixedTime);

    // Root key: a negative size marks a used cell.
    std::size_t nk = bin + nkOffset;
    Put32(hive, nk, static_cast<std::uint32_t>(-static_cast<std::int32_t>(nkSize)));
    nk += 4;
    std::memcpy(&hive[nk], "nk", 2);
    Put16(hive, nk + 0x02, 0x002C);  // hive entry, not to be deleted, ASCII name
    Put64(hive, nk + 0x04, kFixedTime);
    Put32(hive, nk + 0x10, 0);  // parent: none (a root points nowhere useful)
    Put32(hive, nk + 0x14, 0);  // subkeys
    Put32(hive, nk + 0x18, 0);  // volatile subkeys
    Put32(hive, nk + 0x1C, kNoCell);
    Put32(hive, nk + 0x20, kNoCell);
    Put32(hive, nk + 0x24, 0);  // values
    Put32(hive, nk + 0x28, kNoCell);
    Put32(hive, nk + 0x2C, static_cast<std::uint32_t>(skOffset));
    Put32(hive, nk + 0x30, kNoCell);  // class name
    Put16(hive, nk + 0x48, static_cast<std::uint16_t>(name.size()));
    std::memcpy(&hive[nk + 0x4C], name.data(), name.size());

    // Its security cell, the only one: it links to itself both ways.
    std::size_t sk = bin + skOffset;
    Put32(hive, sk, static_cast<std::uint32_t>(-static_cast<std::int32_t>(skSize)));
    sk += 4;
    std::memcpy(&hive[sk], "sk", 2);
    Put32(hive, sk + 0x04, static_cast<std::uint32_t>(skOffset));
    Put32(hive, sk + 0x08, static_cast<std::uint32_t>(skOffset));
    Put32(hive, sk + 0x0C, 1);  // reference count: the root
    Put32(hive, sk + 0x10, static_cast<std::uint32_t>(sd.size()));
    std::memcpy(&hive[sk + 0x14], sd.data(), sd.size());

    // The rest of the bin is one free cell.
    Put32(hive, bin + freeOffset, static_cast<std::uint32_t>(kBinSize - freeOffset));
    return hive;
}
