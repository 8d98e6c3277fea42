#include "micrline/micrdata.h"

#include <deque>
#include <mutex>
#include <utility>

#include "micrline/micrparse.h"

using micrline::detail::MicrFields;

struct CMicrData::Impl {
    std::mutex lock;
    std::deque<MicrFields> records;  // oldest first
    LONG deleteChar = 0;
};

namespace {

// Hands a record (a copy, or the record itself when it leaves the store) to the caller.
void CopyOut(MicrFields r, std::string& rawData, std::string& accountNumber, std::string& amount,
             std::string& bankNumber, std::string& serialNumber, std::string& epc,
             std::string& transitNumber, LONG& checkType, LONG& countryCode) {
    rawData = std::move(r.rawData);
    accountNumber = std::move(r.accountNumber);
    amount = std::move(r.amount);
    bankNumber = std::move(r.bankNumber);
    serialNumber = std::move(r.serialNumber);
    epc = std::move(r.epc);
    transitNumber = std::move(r.transitNumber);
    checkType = r.checkType;
    countryCode = r.countryCode;
}

}  // namespace

CMicrData::CMicrData() : impl_(std::make_unique<Impl>()) {}

CMicrData::~CMicrData() = default;

void CMicrData::Setting(LONG deleteChar) {
    std::lock_guard<std::mutex> g(impl_->lock);
    impl_->deleteChar = deleteChar;
}

BOOL CMicrData::Add(std::string& line, BOOL e13b, BOOL checkDigit) {
    MicrFields rec;
    if (e13b) {
        LONG deleteChar;
        {
            std::lock_guard<std::mutex> g(impl_->lock);
            deleteChar = impl_->deleteChar;
        }
        rec = micrline::detail::ParseE13B(line, deleteChar);
    } else {
        micrline::detail::TransOPOSCharacter(line);
        rec.rawData = line;
    }
    const BOOL result = !checkDigit || micrline::detail::CheckDigit(rec.transitNumber);
    std::lock_guard<std::mutex> g(impl_->lock);
    impl_->records.push_back(std::move(rec));
    return result;
}

LONG CMicrData::GetSize() {
    std::lock_guard<std::mutex> g(impl_->lock);
    return static_cast<LONG>(impl_->records.size());
}

void CMicrData::GetProperty(std::string& rawData, std::string& accountNumber, std::string& amount,
                            std::string& bankNumber, std::string& serialNumber, std::string& epc,
                            std::string& transitNumber, LONG& checkType, LONG& countryCode) {
    std::lock_guard<std::mutex> g(impl_->lock);
    CopyOut(impl_->records.empty() ? MicrFields{} : impl_->records.front(), rawData, accountNumber,
            amount, bankNumber, serialNumber, epc, transitNumber, checkType, countryCode);
}

BOOL CMicrData::PopOldest(std::string& rawData, std::string& accountNumber, std::string& amount,
                          std::string& bankNumber, std::string& serialNumber, std::string& epc,
                          std::string& transitNumber, LONG& checkType, LONG& countryCode) {
    std::lock_guard<std::mutex> g(impl_->lock);
    if (impl_->records.empty()) {
        CopyOut(MicrFields{}, rawData, accountNumber, amount, bankNumber, serialNumber, epc,
                transitNumber, checkType, countryCode);
        return FALSE;
    }
    CopyOut(std::move(impl_->records.front()), rawData, accountNumber, amount, bankNumber,
            serialNumber, epc, transitNumber, checkType, countryCode);
    impl_->records.pop_front();
    return TRUE;
}

void CMicrData::Remove(LONG index) {
    std::lock_guard<std::mutex> g(impl_->lock);
    auto& records = impl_->records;
    if (index == -1) {
        records.clear();
    } else if (index >= 0 && static_cast<size_t>(index) < records.size()) {
        records.erase(records.begin() + index);
    }
}
