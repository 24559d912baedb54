// Contract misuse that the host noticed: a foreign or stale id, a call after
// end_edit, end_edit twice, a dimension mismatch, a foreign monitor or panel
// handle. The host refuses such a call either way (null or 0, as the contract
// says); a strict host also records it, so a test can fail on it.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace sowfield::host {

class ContractLog {
public:
    explicit ContractLog(bool strict = true) : strict_(strict) {}

    bool strict() const { return strict_; }
    void set_strict(bool strict) { strict_ = strict; }

    // Records one violation, described in a sentence that names the
    // operation, when strict; does nothing otherwise.
    void record(std::string what) {
        if (strict_) entries_.push_back(std::move(what));
    }

    const std::vector<std::string> &entries() const { return entries_; }
    void clear() { entries_.clear(); }

private:
    bool strict_;
    std::vector<std::string> entries_;
};

}  // namespace sowfield::host
