#include "jobs/Targets.h"

namespace {

// Bits a field needs for values 0 to count - 1.
int FieldBits(int64_t count) {
    int bits = 0;
    while ((int64_t{1} << bits) < count) ++bits;
    return bits;
}

}  // namespace

int ChipEnablePin(int ce) {
    static const int pins[4] = {CE0, CE1, CE2, CE3};
    return pins[ce & 3];
}

int ChipEnableOfPin(int cePin) {
    for (int ce = 0; ce < 4; ++ce)
        if (ChipEnablePin(ce) == cePin) return ce;
    return 0;
}

RowPlace ChipLayout::Place(int64_t row) const {
    RowPlace place;
    const int64_t perTarget = pagesPerTarget > 0 ? pagesPerTarget : 1;
    const size_t t = static_cast<size_t>(row / perTarget);
    place.ce = targets[t < targets.size() ? t : targets.size() - 1];
    const int64_t inTarget = row % perTarget;
    place.page = inTarget;
    place.address = static_cast<uint32_t>(inTarget);
    if (luns <= 1 || blocksPerLun <= 0 || pagesPerBlock <= 0) return place;
    const int64_t perLun = blocksPerLun * pagesPerBlock;
    place.lun = static_cast<int32_t>(inTarget / perLun);
    place.page = inTarget % perLun;
    place.block = place.page / pagesPerBlock;
    const int pageBits = FieldBits(pagesPerBlock);
    const int blockBits = FieldBits(blocksPerLun);
    place.address = static_cast<uint32_t>((static_cast<int64_t>(place.lun) << (pageBits + blockBits)) |
                                          (place.block << pageBits) | (place.page % pagesPerBlock));
    return place;
}

uint32_t ChipLayout::RowLimit() const {
    if (pagesPerTarget <= 0) return 0;
    return Place(pagesPerTarget - 1).address;
}

std::string ChipLayout::BlockName(int64_t block) const {
    if (Plain() || pagesPerBlock <= 0) return std::string();
    const RowPlace place = Place(block * pagesPerBlock);
    std::string name = " (CE" + std::to_string(place.ce);
    if (luns > 1) name += ", LUN " + std::to_string(place.lun);
    return name + ", block " + std::to_string(place.page / pagesPerBlock) + ")";
}

std::string ChipLayout::PageName(int64_t row) const {
    if (Plain()) return std::string();
    const RowPlace place = Place(row);
    std::string name = " (CE" + std::to_string(place.ce);
    if (luns > 1) name += ", LUN " + std::to_string(place.lun);
    return name + ", page " + std::to_string(place.page) + ")";
}

bool IdOfNoChip(const uint8_t id[5]) {
    for (int i = 1; i < 5; ++i)
        if (id[i] != id[0]) return false;
    return true;
}

std::vector<int> TargetsByRule(const uint8_t ids[4][5]) {
    std::vector<int> targets;
    if (IdOfNoChip(ids[0])) return targets;
    for (int ce = 0; ce < 4; ++ce)
        if (ids[ce][0] == ids[0][0] && ids[ce][1] == ids[0][1]) targets.push_back(ce);
    return targets;
}

std::string ChipEnableList(const std::vector<int>& targets) {
    std::string list;
    for (const int ce : targets) list += (list.empty() ? "CE" : ", CE") + std::to_string(ce);
    return list;
}

void TargetsChip::Aim(uint32_t& row, uint32_t& rowLimit) {
    if (layout_.Plain()) return;
    const RowPlace place = layout_.Place(row);
    chip_.UseChipEnable(ChipEnablePin(place.ce));
    row = place.address;
    rowLimit = layout_.RowLimit();
}

int16_t TargetsChip::ReadPage(uint32_t row, uint32_t rowLimit, int32_t length, uint8_t* buf) {
    Aim(row, rowLimit);
    return chip_.ReadPage(row, rowLimit, length, buf);
}

int16_t TargetsChip::ProgramPage(uint32_t row, uint32_t rowLimit, int32_t length, const uint8_t* data) {
    Aim(row, rowLimit);
    return chip_.ProgramPage(row, rowLimit, length, data);
}

int32_t TargetsChip::EraseBlock(int32_t row, int32_t rowLimit) {
    uint32_t address = static_cast<uint32_t>(row);
    uint32_t limit = static_cast<uint32_t>(rowLimit);
    Aim(address, limit);
    return chip_.EraseBlock(static_cast<int32_t>(address), static_cast<int32_t>(limit));
}

int16_t TargetsChip::ReadBytes(uint32_t row, uint32_t rowLimit, uint32_t column, int32_t length, uint8_t* buf) {
    Aim(row, rowLimit);
    return chip_.ReadBytes(row, rowLimit, column, length, buf);
}
