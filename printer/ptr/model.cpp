#include "printer/ptr/model.h"

#include <cstdlib>

#include "include/opos.h"
#include "posframe/reginfo.h"

namespace printer {

namespace {

struct CapBit {
    int bit;
    LONG pidx;
};

// Bit positions of "CapJournal", "CapReceipt" and "CapSlip".
constexpr CapBit kJournalBits[] = {
    {0, PIDXPtr_CapJrn2Color},     {3, PIDXPtr_CapJrnBold},
    {4, PIDXPtr_CapJrnDhigh},      {5, PIDXPtr_CapJrnDwide},
    {6, PIDXPtr_CapJrnDwideDhigh}, {7, PIDXPtr_CapJrnEmptySensor},
    {9, PIDXPtr_CapJrnItalic},     {11, PIDXPtr_CapJrnNearEndSensor},
    {13, PIDXPtr_CapJrnPresent},   {17, PIDXPtr_CapJrnUnderline},
};
constexpr CapBit kReceiptBits[] = {
    {0, PIDXPtr_CapRec2Color},     {1, PIDXPtr_CapRecBarCode},        {2, PIDXPtr_CapRecBitmap},
    {3, PIDXPtr_CapRecBold},       {4, PIDXPtr_CapRecDhigh},          {5, PIDXPtr_CapRecDwide},
    {6, PIDXPtr_CapRecDwideDhigh}, {7, PIDXPtr_CapRecEmptySensor},    {9, PIDXPtr_CapRecItalic},
    {10, PIDXPtr_CapRecLeft90},    {11, PIDXPtr_CapRecNearEndSensor}, {12, PIDXPtr_CapRecPapercut},
    {13, PIDXPtr_CapRecPresent},   {14, PIDXPtr_CapRecRight90},       {15, PIDXPtr_CapRecRotate180},
    {16, PIDXPtr_CapRecStamp},     {17, PIDXPtr_CapRecUnderline},
};
constexpr CapBit kSlipBits[] = {
    {0, PIDXPtr_CapSlp2Color},     {1, PIDXPtr_CapSlpBarCode},
    {2, PIDXPtr_CapSlpBitmap},     {3, PIDXPtr_CapSlpBold},
    {4, PIDXPtr_CapSlpDhigh},      {5, PIDXPtr_CapSlpDwide},
    {6, PIDXPtr_CapSlpDwideDhigh}, {7, PIDXPtr_CapSlpEmptySensor},
    {8, PIDXPtr_CapSlpFullslip},   {9, PIDXPtr_CapSlpItalic},
    {10, PIDXPtr_CapSlpLeft90},    {11, PIDXPtr_CapSlpNearEndSensor},
    {13, PIDXPtr_CapSlpPresent},   {14, PIDXPtr_CapSlpRight90},
    {15, PIDXPtr_CapSlpRotate180}, {17, PIDXPtr_CapSlpUnderline},
};

// PIDX of each station's LineChars, LineSpacing and LineCharsList.
constexpr LONG kLineChars[kStationCount] = {PIDXPtr_JrnLineChars, PIDXPtr_RecLineChars,
                                            PIDXPtr_SlpLineChars};
constexpr LONG kLineSpacing[kStationCount] = {PIDXPtr_JrnLineSpacing, PIDXPtr_RecLineSpacing,
                                              PIDXPtr_SlpLineSpacing};
constexpr LONG kLineCharsList[kStationCount] = {PIDXPtr_JrnLineCharsList, PIDXPtr_RecLineCharsList,
                                                PIDXPtr_SlpLineCharsList};
constexpr LONG kPresentCap[kStationCount] = {PIDXPtr_CapJrnPresent, PIDXPtr_CapRecPresent,
                                             PIDXPtr_CapSlpPresent};

DWORD Dword(CRegistryInfo& reg, const char* name) {
    DWORD v = 0;
    return reg.GetDWORD(name, &v) ? v : 0;
}

std::string String(CRegistryInfo& reg, const char* name) {
    std::string s;
    return reg.GetString(name, &s) ? s : std::string();
}

// Field A, B or C (0, 1, 2) of a value packed as A*1000000+B*1000+C.
LONG Field3(DWORD packed, int field) {
    static constexpr DWORD kDiv[3] = {1000000, 1000, 1};
    return static_cast<LONG>((packed / kDiv[field]) % 1000);
}

}  // namespace

bool PtrModel::Present(int station) const {
    return Cap(kPresentCap[station]) != 0;
}

int PtrModel::PresentCount() const {
    int n = 0;
    for (int s = 0; s < kStationCount; ++s) n += Present(s) ? 1 : 0;
    return n;
}

int PtrModel::ConfigType() const {
    if (capPtrElse & kElseConfigType1) return 1;
    if (capPtrElse & kElseConfigType2) return 2;
    return 0;
}

LONG PtrModel::SlipSensorMode() const {
    if (capPtrElse & kElseSensorMode3) return 3;
    return SlipFullslip() ? 1 : 2;
}

std::vector<LONG> ParseNumberList(const std::string& list, size_t limit) {
    std::vector<LONG> out;
    size_t pos = 0;
    while (pos <= list.size() && out.size() < limit) {
        size_t end = list.find(',', pos);
        if (end == std::string::npos) end = list.size();
        std::string item = list.substr(pos, end - pos);
        while (!item.empty() && item.front() == ' ') item.erase(item.begin());
        while (!item.empty() && item.back() == ' ') item.pop_back();
        if (!item.empty() && item.size() <= 9 &&
            item.find_first_not_of("0123456789") == std::string::npos)
            out.push_back(static_cast<LONG>(std::strtol(item.c_str(), nullptr, 10)));
        pos = end + 1;
    }
    return out;
}

PtrModel LoadModel(CRegistryInfo& reg) {
    PtrModel m;
    auto setCap = [&](LONG pidx, LONG v) { m.caps[pidx - PIDXPtr_FirstCap] = v; };
    auto setBits = [&](DWORD word, const auto& table) {
        for (const CapBit& b : table) setCap(b.pidx, (word >> b.bit) & 1);
    };

    // Capability words first.
    DWORD concurrent = Dword(reg, "CapConcurrent");
    setCap(PIDXPtr_CapConcurrentJrnRec, concurrent & 1);
    setCap(PIDXPtr_CapConcurrentJrnSlp, (concurrent >> 1) & 1);
    setCap(PIDXPtr_CapConcurrentRecSlp, (concurrent >> 2) & 1);
    setCap(PIDXPtr_CapCoverSensor, Dword(reg, "CapCoverSensor") != 0);
    setBits(Dword(reg, "CapJournal"), kJournalBits);
    setBits(Dword(reg, "CapReceipt"), kReceiptBits);
    setBits(Dword(reg, "CapSlip"), kSlipBits);
    setCap(PIDXPtr_CapCharacterSet, static_cast<LONG>(Dword(reg, "CapCharacterSet")));
    setCap(PIDXPtr_CapTransaction, Dword(reg, "CapTransaction") != 0);
    m.capPtrElse = Dword(reg, "CapPtrElse");
    m.kindOfCutter = Dword(reg, "KindOfCutter");
    m.syncType = Dword(reg, "SyncType");
    m.slipType = Dword(reg, "SlipType") % 16;
    m.asbCustomize = Dword(reg, "ASBCustomize");
    static const char* const kBorders[5] = {"RomIDBorder", "RomIDBorder2", "RomIDBorder3",
                                            "RomIDBorder4", "RomIDBorder5"};
    for (int i = 0; i < 5; ++i) m.romIdBorder[i] = Dword(reg, kBorders[i]);
    m.settings = Dword(reg, "Settings");

    // Number properties.
    auto setNumber = [&](LONG pidx, LONG v) { m.numbers[pidx - PIDXPtr_FirstNumber] = v; };
    setNumber(PIDXPtr_CharacterSet, static_cast<LONG>(Dword(reg, "CharacterSet")));
    DWORD lineChars = Dword(reg, "LineChars");
    DWORD lineSpacing = Dword(reg, "LineSpacing");
    for (int s = 0; s < kStationCount; ++s) {
        if (!m.Present(s)) continue;
        setNumber(kLineChars[s], Field3(lineChars, s));
        setNumber(kLineSpacing[s], Field3(lineSpacing, s));
    }
    if (m.Present(kSlip))
        setNumber(PIDXPtr_SlpMaxLines, static_cast<LONG>(Dword(reg, "MaxLines") % 1000));
    if (m.Present(kJournal))
        setNumber(PIDXPtr_JrnLineWidth, static_cast<LONG>(Dword(reg, "JrnLineWidth")));
    if (m.Present(kReceipt))
        setNumber(PIDXPtr_RecLineWidth, static_cast<LONG>(Dword(reg, "RecLineWidth") / 10000));
    if (m.Present(kSlip))
        setNumber(PIDXPtr_SlpLineWidth, static_cast<LONG>(Dword(reg, "SlpLineWidth")));
    setNumber(PIDXPtr_MapMode, PTR_MM_DOTS);
    setNumber(PIDXPtr_ErrorLevel, PTR_EL_NONE);
    setNumber(PIDXPtr_RotateSpecial, PTR_RP_NORMAL);

    // String lists.
    auto setString = [&](LONG pidx, std::string v) {
        m.strings[pidx - PIDXPtr_FirstString] = std::move(v);
    };
    setString(PIDXPtr_CharacterSetList, String(reg, "CharacterSetList"));
    if (m.Present(kJournal)) setString(PIDXPtr_JrnLineCharsList, String(reg, "JrnLineCharsList"));
    if (m.Present(kReceipt)) setString(PIDXPtr_RecLineCharsList, String(reg, "RecLineCharsList"));
    if (m.Present(kSlip)) setString(PIDXPtr_SlpLineCharsList, String(reg, "SlpLineCharsList"));
    setString(PIDXPtr_FontTypefaceList, String(reg, "FontTypefaceList"));
    setString(PIDXPtr_RecBarCodeRotationList, String(reg, "RecBarCodeRotationList"));
    setString(PIDXPtr_SlpBarCodeRotationList, String(reg, "SlpBarCodeRotationList"));
    for (int s = 0; s < kStationCount; ++s) {
        std::vector<LONG> list =
            ParseNumberList(m.strings[kLineCharsList[s] - PIDXPtr_FirstString], 8);
        for (size_t i = 0; i < 2 && i < list.size(); ++i) m.lineCharsMax[s][i] = list[i];
    }
    return m;
}

}  // namespace printer
