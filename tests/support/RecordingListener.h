// RecordingListener: a strict OLEDBSimpleProviderListener for tests. Every call
// must be the next one a shared CallScript expects (listener, method and both
// arguments), else the test fails; calls after its last Release fail too.
// transferComplete(OSPXFER_COMPLETE), the first thing a registration hears,
// need not be scripted (it is then only counted), but any other event before
// the first of them fails.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>

#include "platform/Platform.h"

namespace qvtest {

enum class Call {
    AboutToChangeCell,
    CellChanged,
    AboutToDeleteRows,
    DeletedRows,
    AboutToInsertRows,
    InsertedRows,
    RowsAvailable,
    TransferComplete
};

inline const char* CallName(Call call) {
    static const char* const names[] = {"aboutToChangeCell", "cellChanged",  "aboutToDeleteRows", "deletedRows",
                                        "aboutToInsertRows", "insertedRows", "rowsAvailable",     "transferComplete"};
    return names[static_cast<int>(call)];
}

class RecordingListener;

// The calls that a group of listeners must receive, in order across all of them.
class CallScript {
public:
    struct Step {
        const RecordingListener* listener;
        std::string name;  // the listener's, for messages that outlive it
        Call call;
        LONGLONG first, second;
        HRESULT result;                // what the listener answers
        std::function<void()> action;  // run inside the call, before it answers
    };

    ~CallScript() { Verify(); }

    void Add(Step step) {
        std::lock_guard<std::mutex> guard(mutex_);
        steps_.push_back(std::move(step));
    }

    // True when the next step is this listener's call.
    bool Next(const RecordingListener* listener, Call call) {
        std::lock_guard<std::mutex> guard(mutex_);
        return !steps_.empty() && steps_.front().listener == listener && steps_.front().call == call;
    }

    // Takes the next step, which must be this call; the failure names both.
    bool Take(const RecordingListener* listener, const std::string& name, Call call, LONGLONG first, LONGLONG second,
              Step* taken) {
        std::lock_guard<std::mutex> guard(mutex_);
        const std::string got = Describe({listener, name, call, first, second, S_OK, {}});
        if (steps_.empty()) {
            ADD_FAILURE() << "unexpected call " << got << ": no call was expected";
            return false;
        }
        const Step& next = steps_.front();
        if (next.listener != listener || next.call != call || next.first != first || next.second != second) {
            ADD_FAILURE() << "unexpected call " << got << "; expected " << Describe(next);
            return false;
        }
        *taken = next;
        steps_.pop_front();
        return true;
    }

    // Fails the test for every expected call that never came, and forgets them.
    void Verify() {
        std::lock_guard<std::mutex> guard(mutex_);
        for (const Step& step : steps_) ADD_FAILURE() << "expected call never made: " << Describe(step);
        steps_.clear();
    }

private:
    static std::string Describe(const Step& step) {
        std::ostringstream out;
        out << step.name << "." << CallName(step.call) << "(" << step.first << ", " << step.second << ")";
        return out.str();
    }

    std::mutex mutex_;
    std::deque<Step> steps_;
};

class RecordingListener : public OLEDBSimpleProviderListener {
public:
    // The test holds the first reference; the listener is never deleted, but
    // once the count reaches 0 it counts as destroyed and must not be called.
    RecordingListener(std::string name, CallScript& script) : name_(std::move(name)), script_(script) {}
    ~RecordingListener() { EXPECT_LE(refs_.load(), 1) << name_ << " still referenced by someone at the end"; }

    RecordingListener& Expect(Call call, LONGLONG first, LONGLONG second, HRESULT result = S_OK,
                              std::function<void()> action = {}) {
        script_.Add({this, name_, call, first, second, result, std::move(action)});
        return *this;
    }

    // Runs inside the Release that brings the count to 0: a listener that
    // calls back into whoever held it as it goes.
    void OnLastRelease(std::function<void()> action) { lastRelease_ = std::move(action); }

    LONG Refs() const { return refs_.load(); }
    bool Destroyed() const { return destroyed_.load(); }
    const std::string& Name() const { return name_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_OLEDBSimpleProviderListener)) {
            *ppv = static_cast<OLEDBSimpleProviderListener*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        if (destroyed_) ADD_FAILURE() << name_ << ": AddRef after its last Release";
        return static_cast<ULONG>(++refs_);
    }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = --refs_;
        if (left < 0) ADD_FAILURE() << name_ << ": released more often than referenced";
        if (left == 0) {
            destroyed_ = true;
            std::function<void()> action = std::move(lastRelease_);
            if (action) action();
        }
        return static_cast<ULONG>(left);
    }

#define QV_RECORDED(method, call, Second) \
    HRESULT STDMETHODCALLTYPE method(DBROWCOUNT row, Second second) override { return Record(Call::call, row, second); }
    QV_RECORDED(aboutToChangeCell, AboutToChangeCell, DB_LORDINAL)
    QV_RECORDED(cellChanged, CellChanged, DB_LORDINAL)
    QV_RECORDED(aboutToDeleteRows, AboutToDeleteRows, DBROWCOUNT)
    QV_RECORDED(deletedRows, DeletedRows, DBROWCOUNT)
    QV_RECORDED(aboutToInsertRows, AboutToInsertRows, DBROWCOUNT)
    QV_RECORDED(insertedRows, InsertedRows, DBROWCOUNT)
    QV_RECORDED(rowsAvailable, RowsAvailable, DBROWCOUNT)
#undef QV_RECORDED
    HRESULT STDMETHODCALLTYPE transferComplete(OSPXFER xfer) override {
        ++transfers_;
        if (script_.Next(this, Call::TransferComplete)) return Record(Call::TransferComplete, xfer, 0);
        if (destroyed_) ADD_FAILURE() << name_ << ".transferComplete called after its last Release";
        EXPECT_EQ(OSPXFER_COMPLETE, xfer) << name_;
        return S_OK;
    }
    // The transferComplete calls heard, scripted or not.
    int Transfers() const { return transfers_.load(); }

private:
    HRESULT Record(Call call, LONGLONG first, LONGLONG second) {
        if (destroyed_) ADD_FAILURE() << name_ << "." << CallName(call) << " called after its last Release";
        if (transfers_ == 0) ADD_FAILURE() << name_ << "." << CallName(call) << " before transferComplete";
        CallScript::Step step;
        if (!script_.Take(this, name_, call, first, second, &step)) return S_OK;
        if (step.action) step.action();
        return step.result;
    }

    std::string name_;
    CallScript& script_;
    std::atomic<LONG> refs_{1};
    std::atomic<bool> destroyed_{false};
    std::function<void()> lastRelease_;
    std::atomic<int> transfers_{0};
};

}  // namespace qvtest
