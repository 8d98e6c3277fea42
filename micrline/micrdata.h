// CMicrData: turns MICR code lines into the MICR data properties and keeps one record per
// read in a first-in first-out store. Every operation is safe to call from several threads.
#pragma once

#include <memory>
#include <string>

#include "platform/wintypes.h"

#define MICRLINE_API __attribute__((visibility("default")))

class MICRLINE_API CMicrData {
  public:
    CMicrData();
    virtual ~CMicrData();
    CMicrData(const CMicrData&) = delete;
    CMicrData& operator=(const CMicrData&) = delete;

    // DeleteChar setting of the device entry: bit 0 removes spaces, bit 1 removes "-" from
    // every field except RawData.
    void Setting(LONG deleteChar);

    // Appends one record. An E-13B line is split into fields and left unchanged; a CMC7 line
    // is translated in place (lower case, "d" to "-") and stored as RawData only. Returns the
    // check-digit result of the new record's transit number when checkDigit is TRUE, else TRUE;
    // the record is stored either way.
    BOOL Add(std::string& line, BOOL e13b, BOOL checkDigit);

    LONG GetSize();

    // Copies the oldest record (the record stays stored). With an empty store the strings are
    // empty and both numbers are 99.
    void GetProperty(std::string& rawData, std::string& accountNumber, std::string& amount,
                     std::string& bankNumber, std::string& serialNumber, std::string& epc,
                     std::string& transitNumber, LONG& checkType, LONG& countryCode);

    // Like GetProperty, and removes the record it copied in the same step. Returns FALSE (and
    // the empty values) when the store is empty.
    BOOL PopOldest(std::string& rawData, std::string& accountNumber, std::string& amount,
                   std::string& bankNumber, std::string& serialNumber, std::string& epc,
                   std::string& transitNumber, LONG& checkType, LONG& countryCode);

    // -1 empties the store; 0..size-1 removes that record; any other index changes nothing.
    void Remove(LONG index);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
