// A port driver for the shared port's tests: records every block with its arguments and
// answers the real-time status requests 10 04 n through PostStatusReply, at once, from
// its own thread after a delay, never, or by refusing the block.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ports/portdrv.h"
#include "printer/shared/shared_port.h"

class FakeStatusDriver : public CPortDriver {
  public:
    enum class Mode { Inline, Delayed, Never, Refuse };
    struct Answer {
        Mode mode = Mode::Inline;
        BYTE reply = 0x12;
    };
    struct Block {
        std::string bytes;
        LONG errorTag;
        CSvcBase* svc;
        int priority, flowMode;
        LONG completionTag;
        int awaitReply;
    };

    ~FakeStatusDriver() override {
        {
            std::lock_guard<std::mutex> g(m_);
            stop_ = true;
        }
        cv_.notify_all();
        if (responder_.joinable()) responder_.join();
    }

    void Attach(SharedPort* port) { port_ = port; }
    void SetAnswer(BYTE n, Answer a) {
        std::lock_guard<std::mutex> g(m_);
        answers_[n] = a;
    }
    void SetDelay(std::chrono::milliseconds d) { delay_ = d; }

    LONG PortOpen(const char*, CSvcBase*, const PortOpenOptions&) override { return PD_OK; }
    LONG PortClose(CSvcBase*) override { return PD_E_NOTOPEN; }
    LONG ClearOutputBuffer(CSvcBase*, int) override { return PD_OK; }
    using CPortDriver::PortOutputData;
    LONG PortOutputData(const char* data, unsigned long length, LONG errorTag, CSvcBase* svc,
                        int priority, int flowMode, LONG completionTag, int awaitReply) override {
        Answer a;
        {
            std::lock_guard<std::mutex> g(m_);
            blocks_.push_back({std::string(data, length), errorTag, svc, priority, flowMode,
                               completionTag, awaitReply});
            BYTE n = length > 0 ? static_cast<BYTE>(data[length - 1]) : 0;
            auto it = answers_.find(n);
            if (it != answers_.end()) a = it->second;
            if (a.mode != Mode::Refuse) {
                if (++outstanding_ > 1) overlapped_ = true;
            }
        }
        cv_.notify_all();
        switch (a.mode) {
            case Mode::Refuse:
                return PD_E_NOTOPEN;
            case Mode::Never:
                Answered();
                return PD_OK;
            case Mode::Inline:
                Answered();
                port_->PostStatusReply(a.reply);
                return PD_OK;
            case Mode::Delayed: {
                std::lock_guard<std::mutex> g(m_);
                if (!responder_.joinable()) responder_ = std::thread([this] { Respond(); });
                queue_.push_back({std::chrono::steady_clock::now() + delay_, a.reply});
                break;
            }
        }
        cv_.notify_all();
        return PD_OK;
    }

    std::vector<Block> Blocks() const {
        std::lock_guard<std::mutex> g(m_);
        return blocks_;
    }
    // The n of every block, in order.
    std::string Sequence() const {
        std::string out;
        for (const Block& b : Blocks()) out += static_cast<char>('0' + b.bytes.back());
        return out;
    }
    // Waits (bounded) until `count` blocks have been sent.
    bool WaitBlocks(size_t count) {
        std::unique_lock<std::mutex> lk(m_);
        return cv_.wait_for(lk, std::chrono::seconds(20), [&] { return blocks_.size() >= count; });
    }
    bool Overlapped() const {
        std::lock_guard<std::mutex> g(m_);
        return overlapped_;
    }

  private:
    void Answered() {
        std::lock_guard<std::mutex> g(m_);
        --outstanding_;
    }
    void Respond() {
        std::unique_lock<std::mutex> lk(m_);
        for (;;) {
            cv_.wait(lk, [&] { return stop_ || !queue_.empty(); });
            if (stop_) return;
            auto [due, reply] = queue_.front();
            if (cv_.wait_until(lk, due, [&] { return stop_; })) return;
            queue_.pop_front();
            --outstanding_;
            lk.unlock();
            port_->PostStatusReply(reply);
            lk.lock();
        }
    }

    SharedPort* port_ = nullptr;
    mutable std::mutex m_;
    std::condition_variable cv_;
    std::map<BYTE, Answer> answers_;
    std::vector<Block> blocks_;
    std::deque<std::pair<std::chrono::steady_clock::time_point, BYTE>> queue_;
    std::chrono::milliseconds delay_{5};
    std::thread responder_;
    bool stop_ = false;
    int outstanding_ = 0;
    bool overlapped_ = false;
};
