/* A POS printer application written in C from the COM binary standard alone: its own
   declarations of the types and interfaces, its own event receiver, the service object created
   by ProgID and driven by name through IDispatch. Nothing from this project is included.

   Usage: so_c_client ENTRY TEXT MODULE
   Prints TEXT on the printer entry ENTRY asynchronously, waits for its completion event, closes
   and releases the service object and checks that the module at MODULE was unloaded.
   Exit code 0 when every step answered as expected; otherwise the failing step is printed. */
#define _GNU_SOURCE /* wcscasecmp, RTLD_NOLOAD */
#include <dlfcn.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wchar.h>

/* ---- The binary standard ---- */

typedef int32_t HRESULT_;
typedef struct {
    uint32_t d1;
    uint16_t d2, d3;
    uint8_t d4[8];
} Guid;

/* 24 bytes: vt, three reserved words, a 16-byte union. */
typedef struct {
    uint16_t vt, r1, r2, r3;
    union {
        int32_t lVal;
        int32_t* plVal;
        wchar_t* bstrVal;
        void* dispVal;
        struct {
            void* record;
            void* info;
        } rec;
    } u;
} Variant;
_Static_assert(sizeof(Variant) == 24, "VARIANT is 24 bytes");

typedef struct {
    Variant* args; /* last argument first */
    int32_t* named;
    uint32_t count;
    uint32_t namedCount;
} DispParams;

typedef struct DispatchVtbl DispatchVtbl;
typedef struct {
    const DispatchVtbl* vtbl;
} Dispatch;
struct DispatchVtbl {
    HRESULT_ (*QueryInterface)(Dispatch* self, const Guid* iid, void** out);
    uint32_t (*AddRef)(Dispatch* self);
    uint32_t (*Release)(Dispatch* self);
    HRESULT_ (*GetTypeInfoCount)(Dispatch* self, uint32_t* count);
    HRESULT_ (*GetTypeInfo)(Dispatch* self, uint32_t index, uint32_t lcid, void** info);
    HRESULT_(*GetIDsOfNames)
    (Dispatch* self, const Guid* iid, wchar_t** names, uint32_t count, uint32_t lcid, int32_t* ids);
    HRESULT_(*Invoke)
    (Dispatch* self, int32_t id, const Guid* iid, uint32_t lcid, uint16_t flags, DispParams* params, Variant* result,
     void* excepInfo, uint32_t* argErr);
};

enum {
    VT_EMPTY = 0,
    VT_I4 = 3,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_BYREF = 0x4000,
    DISPATCH_METHOD = 1,
    CLSCTX_INPROC_SERVER = 1,
    LOCALE_SYSTEM_DEFAULT = 0x800,
    LOCALE_USER_DEFAULT = 0x400,
    DISPID_UNKNOWN = -1
};
#define S_OK_ 0
#define E_NOINTERFACE_ ((HRESULT_)0x80004002)
#define E_NOTIMPL_ ((HRESULT_)0x80004001)
#define E_POINTER_ ((HRESULT_)0x80004003)
#define DISP_E_UNKNOWNNAME_ ((HRESULT_)0x80020006)
#define DISP_E_MEMBERNOTFOUND_ ((HRESULT_)0x80020003)

static const Guid kIIDNull = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
static const Guid kIIDUnknown = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const Guid kIIDDispatch = {0x00020400, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

/* The runtime's exports, with their Windows names and C linkage. */
wchar_t* SysAllocString(const wchar_t* text);
void SysFreeString(wchar_t* text);
void VariantInit(Variant* v);
HRESULT_ VariantClear(Variant* v);
HRESULT_ CLSIDFromProgID(const wchar_t* progId, Guid* clsid);
HRESULT_ CoCreateInstance(const Guid* clsid, void* outer, uint32_t context, const Guid* iid, void** out);
void CoFreeUnusedLibrariesEx(uint32_t unloadDelayMs, uint32_t reserved);

/* ---- OPOS values this application uses ---- */
enum {
    OPOS_SUCCESS = 0,
    PIDX_DeviceEnabled = 3,
    PIDX_OutputID = 5,
    PIDXPtr_AsyncMode = 8001,
    PTR_S_RECEIPT = 2,
    kClaimTimeoutMs = 3000,
    kEventWaitMs = 10000
};

/* ---- The event receiver ---- */

enum EventKind { kDirectIO = 1, kError, kOutputComplete, kStatusUpdate, kEventKinds = kStatusUpdate };
enum { kMaxCompletions = 16 };
static const wchar_t* const kEventNames[kEventKinds] = {L"SODirectIO", L"SOError", L"SOOutputComplete",
                                                        L"SOStatusUpdate"};

/* Written on the service object's event thread, read on the main thread. */
typedef struct {
    Dispatch base;
    atomic_int refs;
    atomic_int calls[kEventKinds + 1];
    atomic_int completions; /* slots of completedIds filled */
    atomic_int completedIds[kMaxCompletions];
    atomic_int badCalls; /* calls with an unknown DISPID or unexpected arguments */
} Receiver;

static Receiver* AsReceiver(Dispatch* self) { return (Receiver*)self; }

static int SameGuid(const Guid* a, const Guid* b) { return memcmp(a, b, sizeof *a) == 0; }

static uint32_t ReceiverAddRef(Dispatch* self) { return (uint32_t)atomic_fetch_add(&AsReceiver(self)->refs, 1) + 1; }
static uint32_t ReceiverRelease(Dispatch* self) { return (uint32_t)atomic_fetch_sub(&AsReceiver(self)->refs, 1) - 1; }

static HRESULT_ ReceiverQueryInterface(Dispatch* self, const Guid* iid, void** out) {
    if (!out) return E_POINTER_;
    *out = NULL;
    if (!SameGuid(iid, &kIIDUnknown) && !SameGuid(iid, &kIIDDispatch)) return E_NOINTERFACE_;
    *out = self;
    ReceiverAddRef(self);
    return S_OK_;
}

static HRESULT_ ReceiverGetTypeInfoCount(Dispatch* self, uint32_t* count) {
    (void)self;
    if (count) *count = 0;
    return S_OK_;
}

static HRESULT_ ReceiverGetTypeInfo(Dispatch* self, uint32_t index, uint32_t lcid, void** info) {
    (void)self, (void)index, (void)lcid;
    if (info) *info = NULL;
    return E_NOTIMPL_;
}

static HRESULT_ ReceiverGetIDsOfNames(Dispatch* self, const Guid* iid, wchar_t** names, uint32_t count, uint32_t lcid,
                                      int32_t* ids) {
    (void)self, (void)iid, (void)lcid;
    HRESULT_ hr = S_OK_;
    for (uint32_t i = 0; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        for (int k = 0; k < kEventKinds; ++k)
            if (names[i] && wcscasecmp(names[i], kEventNames[k]) == 0) ids[i] = k + 1;
        if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME_;
    }
    return hr;
}

/* Events are methods whose arguments are longs; SOError's last one is the response by reference. */
static int ArgsAreLongs(const DispParams* p, uint32_t expected) {
    if (!p || p->count != expected || p->namedCount != 0) return 0;
    for (uint32_t i = 0; i < p->count; ++i) {
        const int byRefResponse = i == 0 && expected == 4;
        if (p->args[i].vt != (byRefResponse ? (VT_BYREF | VT_I4) : VT_I4)) return 0;
        if (byRefResponse && p->args[i].u.plVal == NULL) return 0;
    }
    return 1;
}

static HRESULT_ ReceiverInvoke(Dispatch* self, int32_t id, const Guid* iid, uint32_t lcid, uint16_t flags,
                               DispParams* params, Variant* result, void* excepInfo, uint32_t* argErr) {
    (void)lcid, (void)result, (void)excepInfo, (void)argErr;
    Receiver* r = AsReceiver(self);
    static const uint32_t kArgCounts[kEventKinds + 1] = {0, 3, 4, 1, 1};
    if (id < 1 || id > kEventKinds) {
        atomic_fetch_add(&r->badCalls, 1);
        return DISP_E_MEMBERNOTFOUND_;
    }
    if (!SameGuid(iid, &kIIDNull) || !(flags & DISPATCH_METHOD) || !ArgsAreLongs(params, kArgCounts[id]))
        atomic_fetch_add(&r->badCalls, 1);
    else if (id == kOutputComplete) {
        const int slot = atomic_fetch_add(&r->completions, 1);
        if (slot < kMaxCompletions) atomic_store(&r->completedIds[slot], params->args[0].u.lVal);
    }
    atomic_fetch_add(&r->calls[id], 1);
    return S_OK_;
}

static const DispatchVtbl kReceiverVtbl = {
    ReceiverQueryInterface, ReceiverAddRef,        ReceiverRelease, ReceiverGetTypeInfoCount,
    ReceiverGetTypeInfo,    ReceiverGetIDsOfNames, ReceiverInvoke};

/* ---- Calling the service object ---- */

static char g_step[160];

#define FAIL(...)                               \
    do {                                        \
        fprintf(stderr, "FAILED %s: ", g_step); \
        fprintf(stderr, __VA_ARGS__);           \
        fputc('\n', stderr);                    \
        return 1;                               \
    } while (0)

static void Step(const char* name) { snprintf(g_step, sizeof g_step, "%s", name); }

static int32_t DispidOf(Dispatch* so, const wchar_t* name) {
    wchar_t buffer[64];
    wcsncpy(buffer, name, 63);
    buffer[63] = 0;
    wchar_t* names[1] = {buffer};
    int32_t id = DISPID_UNKNOWN;
    if (so->vtbl->GetIDsOfNames(so, &kIIDNull, names, 1, LOCALE_SYSTEM_DEFAULT, &id) != S_OK_) return DISPID_UNKNOWN;
    return id;
}

/* Calls a method by name with arguments given first to last; its long result goes to *value.
   Returns the HRESULT. The caller's argument variants are cleared. */
static HRESULT_ CallLong(Dispatch* so, const wchar_t* name, Variant* args, uint32_t count, int32_t* value) {
    const int32_t id = DispidOf(so, name);
    if (id == DISPID_UNKNOWN) return DISP_E_UNKNOWNNAME_;
    Variant reversed[4];
    for (uint32_t i = 0; i < count; ++i) reversed[i] = args[count - 1 - i];
    DispParams params = {reversed, NULL, count, 0};
    Variant result;
    VariantInit(&result);
    uint32_t argErr = 0;
    HRESULT_ hr =
        so->vtbl->Invoke(so, id, &kIIDNull, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, NULL, &argErr);
    if (hr == S_OK_ && result.vt != VT_I4) hr = DISP_E_MEMBERNOTFOUND_;
    if (hr == S_OK_) *value = result.u.lVal;
    VariantClear(&result);
    /* The receiver travels as a borrowed pointer: the call holds no reference of its own. */
    for (uint32_t i = 0; i < count; ++i)
        if (args[i].vt != VT_DISPATCH) VariantClear(&args[i]);
    return hr;
}

static Variant Long(int32_t value) {
    Variant v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.u.lVal = value;
    return v;
}

static Variant Text(const wchar_t* text) {
    Variant v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.u.bstrVal = SysAllocString(text);
    return v;
}

/* The OPOS result of a method; fails the step on a COM error or a non-zero result. */
#define EXPECT_OPOS(so, name, args, count)                                  \
    do {                                                                    \
        int32_t rc_ = -1;                                                   \
        const HRESULT_ hr_ = CallLong((so), (name), (args), (count), &rc_); \
        if (hr_ != S_OK_) FAIL("HRESULT 0x%08x", (unsigned)hr_);            \
        if (rc_ != OPOS_SUCCESS) FAIL("OPOS result %d", rc_);               \
    } while (0)

static void SleepOneMs(void) {
    const struct timespec ms = {0, 1000000};
    nanosleep(&ms, NULL);
}

/* How many completions carried outputId. A slot is counted before its ID is stored, so a
   zero ID is a completion still being recorded (output IDs start at 1). */
static int CompletionsOf(Receiver* r, int32_t outputId) {
    int found = 0;
    const int n = atomic_load(&r->completions);
    for (int i = 0; i < n && i < kMaxCompletions; ++i) found += atomic_load(&r->completedIds[i]) == outputId;
    return found;
}

static int WaitForCompletion(Receiver* r, int32_t outputId) {
    for (int waited = 0; waited < kEventWaitMs; ++waited) {
        if (CompletionsOf(r, outputId) > 0) return 1;
        SleepOneMs();
    }
    return 0;
}

static int Run(const wchar_t* entry, const wchar_t* text, const char* modulePath, Receiver* receiver) {
    Step("CLSIDFromProgID");
    Guid clsid;
    HRESULT_ hr = CLSIDFromProgID(L"QUVOOposPrinterU1.13", &clsid);
    if (hr != S_OK_) FAIL("0x%08x", (unsigned)hr);

    Step("CoCreateInstance");
    Dispatch* so = NULL;
    hr = CoCreateInstance(&clsid, NULL, CLSCTX_INPROC_SERVER, &kIIDDispatch, (void**)&so);
    if (hr != S_OK_ || so == NULL) FAIL("0x%08x", (unsigned)hr);

    Step("GetIDsOfNames of an unknown name");
    wchar_t unknown[] = L"NoSuchMethod";
    wchar_t* names[1] = {unknown};
    int32_t id = 0;
    hr = so->vtbl->GetIDsOfNames(so, &kIIDNull, names, 1, LOCALE_SYSTEM_DEFAULT, &id);
    if (hr != DISP_E_UNKNOWNNAME_ || id != DISPID_UNKNOWN) FAIL("0x%08x, id %d", (unsigned)hr, id);
    Step("GetIDsOfNames ignores case");
    if (DispidOf(so, L"printnormal") != DispidOf(so, L"PrintNormal") || DispidOf(so, L"PrintNormal") < 0)
        FAIL("printnormal %d, PrintNormal %d", DispidOf(so, L"printnormal"), DispidOf(so, L"PrintNormal"));

    const int refsBefore = atomic_load(&receiver->refs);
    Step("OpenService");
    Variant open[3] = {Text(L"POSPrinter"), Text(entry), {0}};
    VariantInit(&open[2]);
    open[2].vt = VT_DISPATCH;
    open[2].u.dispVal = &receiver->base;
    EXPECT_OPOS(so, L"OpenService", open, 3);
    Step("ClaimDevice");
    Variant claim[1] = {Long(kClaimTimeoutMs)};
    EXPECT_OPOS(so, L"ClaimDevice", claim, 1);
    Step("SetPropertyNumber DeviceEnabled");
    Variant enable[2] = {Long(PIDX_DeviceEnabled), Long(1)};
    EXPECT_OPOS(so, L"SetPropertyNumber", enable, 2);
    Step("SetPropertyNumber AsyncMode");
    Variant async[2] = {Long(PIDXPtr_AsyncMode), Long(1)};
    EXPECT_OPOS(so, L"SetPropertyNumber", async, 2);

    Step("PrintNormal");
    Variant print[2] = {Long(PTR_S_RECEIPT), Text(text)};
    EXPECT_OPOS(so, L"PrintNormal", print, 2);
    Step("GetPropertyNumber OutputID");
    int32_t outputId = 0;
    Variant idIndex[1] = {Long(PIDX_OutputID)};
    hr = CallLong(so, L"GetPropertyNumber", idIndex, 1, &outputId);
    if (hr != S_OK_ || outputId <= 0) FAIL("0x%08x, OutputID %d", (unsigned)hr, outputId);

    Step("SOOutputComplete");
    if (!WaitForCompletion(receiver, outputId))
        FAIL("none for OutputID %d in %d ms (%d others)", outputId, kEventWaitMs, atomic_load(&receiver->completions));
    if (atomic_load(&receiver->calls[kError]) != 0) FAIL("an SOError arrived");
    if (atomic_load(&receiver->badCalls) != 0) FAIL("%d malformed event calls", atomic_load(&receiver->badCalls));

    Step("CloseService");
    EXPECT_OPOS(so, L"CloseService", NULL, 0);
    Step("SOOutputComplete once");
    if (CompletionsOf(receiver, outputId) != 1) FAIL("%d completions", CompletionsOf(receiver, outputId));
    Step("Release");
    const uint32_t left = so->vtbl->Release(so);
    if (left != 0) FAIL("%u references left", left);
    Step("receiver references");
    if (atomic_load(&receiver->refs) != refsBefore)
        FAIL("%d references held on the receiver after release", atomic_load(&receiver->refs) - refsBefore);

    Step("CoFreeUnusedLibrariesEx");
    CoFreeUnusedLibrariesEx(0, 0);
    void* still = dlopen(modulePath, RTLD_NOW | RTLD_NOLOAD);
    if (still != NULL) {
        dlclose(still);
        FAIL("%s is still loaded", modulePath);
    }
    return 0;
}

static int Widen(const char* in, wchar_t* out, size_t size) {
    const size_t n = mbstowcs(out, in, size);
    return n != (size_t)-1 && n < size;
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: so_c_client ENTRY TEXT MODULE\n");
        return 2;
    }
    wchar_t entry[256], text[256];
    if (!Widen(argv[1], entry, 256) || !Widen(argv[2], text, 256)) {
        fprintf(stderr, "arguments too long\n");
        return 2;
    }
    static Receiver receiver = {.base = {&kReceiverVtbl}};
    atomic_init(&receiver.refs, 1); /* the application's own */
    const int failed = Run(entry, text, argv[3], &receiver);
    if (!failed) printf("ok\n");
    return failed;
}
