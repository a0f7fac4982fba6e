// The host's four drawing suites acquired and released as one set, and owning
// wrappers for the pens and paths the host makes and reference-counts.
#pragma once

#include <exception>

#include "api/AE_Effect.h"
#include "api/DrawbotSuites.h"

struct DRAWBOT_Suites {
    DRAWBOT_DrawbotSuite1* drawbot_suiteP;
    DRAWBOT_SupplierSuite1* supplier_suiteP;
    DRAWBOT_SurfaceSuite1* surface_suiteP;
    DRAWBOT_PathSuite1* path_suiteP;
};

extern "C" {
// Acquires the Draw, Supplier, Surface and Path suites in that order and stops at
// the first that is missing (its error and message are returned; those before
// it stay acquired). A null record gives PF_Err_UNRECOGNIZED_PARAM_TYPE.
PF_Err AEFX_AcquireDrawbotSuites(PF_InData* in_data, PF_OutData* out_data, DRAWBOT_Suites* suitesP);
// Releases all four by name; always PF_Err_NONE.
PF_Err AEFX_ReleaseDrawbotSuites(PF_InData* in_data, PF_OutData* out_data);
}

// Releases only the suites of the set that were actually acquired (non-null
// fields), so a partial acquisition never hands back a suite the host did not give.
PF_Err AEFX_ReleaseAcquiredDrawbotSuites(PF_InData* in_data, PF_OutData* out_data, const DRAWBOT_Suites* suitesP);

// The set held for a scope: acquired on construction (Error() is the first
// failure), and only what was acquired given back on every way out.
class AEFX_DrawbotSuitesScope {
public:
    AEFX_DrawbotSuitesScope(PF_InData* in_data, PF_OutData* out_data) : in_data_(in_data), out_data_(out_data) {
        err_ = AEFX_AcquireDrawbotSuites(in_data, out_data, &suites_);
    }
    ~AEFX_DrawbotSuitesScope() { (void)AEFX_ReleaseAcquiredDrawbotSuites(in_data_, out_data_, &suites_); }
    AEFX_DrawbotSuitesScope(const AEFX_DrawbotSuitesScope&) = delete;
    AEFX_DrawbotSuitesScope& operator=(const AEFX_DrawbotSuitesScope&) = delete;

    DRAWBOT_Suites* Get() { return &suites_; }
    PF_Err Error() const { return err_; }

private:
    PF_InData* in_data_;
    PF_OutData* out_data_;
    DRAWBOT_Suites suites_{};
    PF_Err err_ = PF_Err_NONE;
};

// A failing drawing call; the host's error code is in errorCode.
class DRAWBOT_Exception : public std::exception {
public:
    explicit DRAWBOT_Exception(A_long code) : errorCode(code) {}
    A_long errorCode;
};

// Holds one reference to a host pen or path and gives it back exactly once.
template <typename ObjectRef>
class SharedRefImpl {
public:
    SharedRefImpl(DRAWBOT_SupplierSuite1* suiteP, ObjectRef ref) : objectRef(ref), supplierSuite(suiteP) {
        if (objectRef) RetainObject();
    }
    // A release the host refuses is swallowed here: a destructor must never throw.
    virtual ~SharedRefImpl() {
        try {
            ReleaseObject();
        } catch (...) {
        }
    }
    SharedRefImpl(const SharedRefImpl&) = delete;
    SharedRefImpl& operator=(const SharedRefImpl&) = delete;

    void RetainObject() {
        if (!objectRef) return;
        if (!supplierSuite) throw DRAWBOT_Exception(PF_Err_BAD_CALLBACK_PARAM);
        const SPErr err = supplierSuite->RetainObject(reinterpret_cast<DRAWBOT_ObjectRef>(objectRef));
        if (err != kSPNoError) throw DRAWBOT_Exception(err);
    }

    void ReleaseObject() {
        if (!objectRef) return;
        if (!supplierSuite) throw DRAWBOT_Exception(PF_Err_BAD_CALLBACK_PARAM);
        const SPErr err = supplierSuite->ReleaseObject(reinterpret_cast<DRAWBOT_ObjectRef>(objectRef));
        if (err != kSPNoError) throw DRAWBOT_Exception(err);
        objectRef = nullptr;
    }

    ObjectRef Get() const { return objectRef; }

protected:
    // Takes `fresh`, just made through `suiteP`, in place of the held object.
    // If the old one cannot be released, the fresh one is given back so it cannot leak.
    void Replace(DRAWBOT_SupplierSuite1* suiteP, ObjectRef fresh) {
        if (fresh == objectRef) return;
        try {
            ReleaseObject();
        } catch (...) {
            if (fresh) (void)suiteP->ReleaseObject(reinterpret_cast<DRAWBOT_ObjectRef>(fresh));
            throw;
        }
        objectRef = fresh;
        supplierSuite = suiteP;
    }

    ObjectRef objectRef;
    DRAWBOT_SupplierSuite1* supplierSuite;
};

class DRAWBOT_PenP : public SharedRefImpl<_DRAWBOT_PenRef*> {
public:
    DRAWBOT_PenP(DRAWBOT_SupplierSuite1* suiteP, DRAWBOT_SupplierRef supplier, const DRAWBOT_ColorRGBA* colourP,
                 float size);
    ~DRAWBOT_PenP() override = default;
    // Makes a new pen; on success it replaces the held one, on failure the held one stays.
    void New(DRAWBOT_SupplierSuite1* suiteP, DRAWBOT_SupplierRef supplier, const DRAWBOT_ColorRGBA* colourP,
             float size);
};

class DRAWBOT_PathP : public SharedRefImpl<_DRAWBOT_PathRef*> {
public:
    DRAWBOT_PathP(DRAWBOT_SupplierSuite1* suiteP, DRAWBOT_SupplierRef supplier);
    ~DRAWBOT_PathP() override = default;
    // Starts a fresh, empty path in place of the held one.
    void New(DRAWBOT_SupplierSuite1* suiteP, DRAWBOT_SupplierRef supplier);
};
