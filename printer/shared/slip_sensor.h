// Slip (check) sensor logic shared by the printer and MICR services: the slip bits of an
// automatic status record, read into sensors s0..s3, and the predicates each slip type
// derives from them. One object per service object, chosen by the printer's slip type.
// Every operation takes the object's lock.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/wintypes.h"

class SlipSensorState {
  public:
    // mask: which sensor sets updates fill (bit 1: set A, bit 2: set B); 1, 2 or 3, any
    // other value counts as 1.
    explicit SlipSensorState(LONG mask = 1);
    virtual ~SlipSensorState() = default;
    SlipSensorState(const SlipSensorState&) = delete;
    SlipSensorState& operator=(const SlipSensorState&) = delete;

    virtual LONG Type() const { return 0; }  // the slip type of the class

    virtual bool Sensor0() const;
    virtual bool Sensor3() const;
    virtual bool Inserted() const;
    virtual bool Empty() const;
    virtual bool SlipEmpty() const;
    virtual bool SlipNearEnd() const;
    virtual bool Removed() const;
    virtual bool Present() const;
    virtual bool Test9() const;
    virtual bool Test10() const;
    virtual bool Test11() const;
    virtual bool Test12() const;
    virtual void SetLatch(BOOL latch);
    virtual bool GetLatch() const;
    // One four-byte automatic status record (shorter input is ignored). The printer
    // chooses useSetA by its current station; the MICR service always passes TRUE.
    virtual void UpdateFromStatus(const std::string& frame, BOOL useSetA);

    LONG Mask() const { return mask_; }

  protected:
    struct Sensors {
        bool s0 = false, s1 = false, s2 = false, s3 = false;
        bool a[4] = {}, b[4] = {};
        bool latch = true;
        bool e = false;  // extra sensor, type 4 only
    };
    Sensors Read() const;
    // Type 4 keeps the extra sensor e from the record.
    virtual bool HasExtraSensor() const { return false; }

  private:
    mutable std::mutex lock_;
    Sensors v_;
    LONG mask_;
};

class SlipSensorState1 : public SlipSensorState {
  public:
    using SlipSensorState::SlipSensorState;
    LONG Type() const override { return 1; }
    bool Inserted() const override;
    bool Empty() const override;
    bool SlipNearEnd() const override;
};

class SlipSensorState2 : public SlipSensorState1 {
  public:
    using SlipSensorState1::SlipSensorState1;
    LONG Type() const override { return 2; }
    bool SlipNearEnd() const override;
    bool Present() const override;
};

class SlipSensorState3 : public SlipSensorState1 {
  public:
    using SlipSensorState1::SlipSensorState1;
    LONG Type() const override { return 3; }
    bool SlipNearEnd() const override;
    bool Present() const override;
    bool Test10() const override;
};

class SlipSensorState4 : public SlipSensorState1 {
  public:
    using SlipSensorState1::SlipSensorState1;
    LONG Type() const override { return 4; }
    bool SlipNearEnd() const override;
    bool Present() const override;
    bool Test12() const override;

  protected:
    bool HasExtraSensor() const override { return true; }
};

class SlipSensorState5 : public SlipSensorState1 {
  public:
    using SlipSensorState1::SlipSensorState1;
    LONG Type() const override { return 5; }
    bool Empty() const override;
    bool SlipNearEnd() const override;
};

class SlipSensorState10 : public SlipSensorState1 {
  public:
    using SlipSensorState1::SlipSensorState1;
    LONG Type() const override { return 10; }
    bool Inserted() const override;
    bool Empty() const override;
    bool SlipNearEnd() const override;
    bool Removed() const override;
    bool Test9() const override;
};

class SlipSensorState11 : public SlipSensorState10 {
  public:
    using SlipSensorState10::SlipSensorState10;
    LONG Type() const override { return 11; }
    bool Inserted() const override;
    bool Removed() const override;
    bool Test9() const override;
    bool Test11() const override;
};

// The printer service's object for a slip type (types without a class of their own get
// the base class).
std::unique_ptr<SlipSensorState> CreateSlipSensorState(LONG slipType, LONG mask = 1);
// The MICR service's object: mask 1, and type 5 gets the base class.
std::unique_ptr<SlipSensorState> CreateMicrSlipSensorState(LONG slipType);
