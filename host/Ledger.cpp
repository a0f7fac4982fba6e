#include "host/Ledger.h"

namespace vhost {

namespace {
std::string SuiteKey(const std::string& name, int version) { return name + " v" + std::to_string(version); }
}  // namespace

void SuiteLedger::Acquired(const std::string& name, int version) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++counts_[SuiteKey(name, version)].acquired;
}

void SuiteLedger::Released(const std::string& name, int version) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string key = SuiteKey(name, version);
    Count& count = counts_[key];
    if (count.released >= count.acquired) {
        strays_.push_back("\"" + key + "\" released without being held");
        return;
    }
    ++count.released;
}

bool SuiteLedger::Balanced() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!strays_.empty()) return false;
    for (const auto& entry : counts_) {
        if (entry.second.acquired != entry.second.released) return false;
    }
    return true;
}

int SuiteLedger::Acquires(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    int total = 0;
    const std::string prefix = name + " v";
    for (const auto& entry : counts_) {
        if (entry.first.compare(0, prefix.size(), prefix) == 0) total += entry.second.acquired;
    }
    return total;
}

int SuiteLedger::Releases(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    int total = 0;
    const std::string prefix = name + " v";
    for (const auto& entry : counts_) {
        if (entry.first.compare(0, prefix.size(), prefix) == 0) total += entry.second.released;
    }
    return total;
}

int SuiteLedger::TotalAcquires() const {
    std::lock_guard<std::mutex> lock(mutex_);
    int total = 0;
    for (const auto& entry : counts_) total += entry.second.acquired;
    return total;
}

std::vector<std::string> SuiteLedger::Problems() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> problems;
    for (const auto& entry : counts_) {
        if (entry.second.acquired != entry.second.released) {
            problems.push_back("\"" + entry.first + "\" acquired " + std::to_string(entry.second.acquired) +
                               " times, released " + std::to_string(entry.second.released));
        }
    }
    problems.insert(problems.end(), strays_.begin(), strays_.end());
    return problems;
}

void SuiteLedger::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    counts_.clear();
    strays_.clear();
}

namespace {
const char* KindName(ObjectLedger::Kind kind) { return kind == ObjectLedger::Kind::Pen ? "pen" : "path"; }
}  // namespace

int ObjectLedger::Created(Kind kind) {
    std::lock_guard<std::mutex> lock(mutex_);
    objects_.push_back(Object{kind, 1});
    return static_cast<int>(objects_.size());
}

bool ObjectLedger::Retained(int id) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (id < 1 || id > static_cast<int>(objects_.size()) || objects_[id - 1].refs <= 0) {
        strays_.push_back("retain of unknown or freed object " + std::to_string(id));
        return false;
    }
    ++objects_[id - 1].refs;
    return true;
}

bool ObjectLedger::Released(int id) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (id < 1 || id > static_cast<int>(objects_.size()) || objects_[id - 1].refs <= 0) {
        strays_.push_back("release of unknown or freed object " + std::to_string(id));
        return false;
    }
    --objects_[id - 1].refs;
    return true;
}

bool ObjectLedger::IsLive(int id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return id >= 1 && id <= static_cast<int>(objects_.size()) && objects_[id - 1].refs > 0;
}

int ObjectLedger::CreatedCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(objects_.size());
}

int ObjectLedger::CreatedCount(Kind kind) const {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const Object& object : objects_) n += object.kind == kind ? 1 : 0;
    return n;
}

int ObjectLedger::Live() const {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const Object& object : objects_) n += object.refs > 0 ? 1 : 0;
    return n;
}

bool ObjectLedger::Balanced() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!strays_.empty()) return false;
    for (const Object& object : objects_) {
        if (object.refs != 0) return false;
    }
    return true;
}

std::vector<std::string> ObjectLedger::Problems() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> problems;
    for (size_t i = 0; i < objects_.size(); ++i) {
        if (objects_[i].refs != 0) {
            problems.push_back(std::string(KindName(objects_[i].kind)) + " " + std::to_string(i + 1) + " still holds " +
                               std::to_string(objects_[i].refs) + " reference(s)");
        }
    }
    problems.insert(problems.end(), strays_.begin(), strays_.end());
    return problems;
}

void ObjectLedger::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    objects_.clear();
    strays_.clear();
}

}  // namespace vhost
