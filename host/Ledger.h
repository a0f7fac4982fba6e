// Bookkeeping of everything a plug-in acquires from the host, so tests and the
// validator can prove each suite, pen and path is given back exactly once.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace vhost {

class SuiteLedger {
public:
    void Acquired(const std::string& name, int version);
    // A release of a suite that is not held is recorded as a problem.
    void Released(const std::string& name, int version);
    // Every suite released as often as acquired, and no stray release.
    bool Balanced() const;
    int Acquires(const std::string& name) const;
    int Releases(const std::string& name) const;
    int TotalAcquires() const;
    // Human-readable list of what is unbalanced or was released without being held.
    std::vector<std::string> Problems() const;
    void Reset();

private:
    struct Count {
        int acquired = 0;
        int released = 0;
    };
    mutable std::mutex mutex_;
    std::map<std::string, Count> counts_;  // keyed "name v<version>"
    std::vector<std::string> strays_;
};

// Reference counts of host drawing objects (pens and paths).
class ObjectLedger {
public:
    enum class Kind { Pen, Path };
    // Returns the new object's id (1, 2, ...), holding one reference.
    int Created(Kind kind);
    // False (and a recorded problem) when the object is unknown or already freed.
    bool Retained(int id);
    bool Released(int id);
    bool IsLive(int id) const;
    // Objects made so far, of any kind or of one.
    int CreatedCount() const;
    int CreatedCount(Kind kind) const;
    int Live() const;
    // Every object's count back at zero and no release of a freed object.
    bool Balanced() const;
    std::vector<std::string> Problems() const;
    void Reset();

private:
    struct Object {
        Kind kind;
        int refs;
    };
    mutable std::mutex mutex_;
    std::vector<Object> objects_;
    std::vector<std::string> strays_;
};

}  // namespace vhost
