/* A COM client written from the binary standard alone: its own interface declarations as C
   structs of function pointers, nothing from this project, every function found by name. */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

typedef struct {
    uint32_t d1;
    uint16_t d2, d3;
    uint8_t d4[8];
} Guid;

typedef struct {
    uint16_t vt, r1, r2, r3;
    union {
        int32_t lVal;
        int16_t boolVal;
        wchar_t* bstrVal;
        int32_t* plVal;
        wchar_t** pbstrVal;
        struct {
            void* record;
            void* info;
        } rec;
    } u;
} Variant;

typedef struct {
    Variant* args;
    int32_t* named;
    uint32_t count;
    uint32_t namedCount;
} DispParams;

typedef struct {
    int32_t (*QueryInterface)(void* self, const Guid* iid, void** out);
    uint32_t (*AddRef)(void* self);
    uint32_t (*Release)(void* self);
    int32_t (*CreateInstance)(void* self, void* outer, const Guid* iid, void** out);
    int32_t (*LockServer)(void* self, int32_t lock);
} ClassFactoryVtbl;

typedef struct {
    int32_t (*QueryInterface)(void* self, const Guid* iid, void** out);
    uint32_t (*AddRef)(void* self);
    uint32_t (*Release)(void* self);
    int32_t (*GetTypeInfoCount)(void* self, uint32_t* count);
    int32_t (*GetTypeInfo)(void* self, uint32_t index, uint32_t lcid, void** info);
    int32_t (*GetIDsOfNames)(void* self, const Guid* iid, wchar_t** names, uint32_t count, uint32_t lcid, int32_t* ids);
    int32_t (*Invoke)(void* self, int32_t id, const Guid* iid, uint32_t lcid, uint16_t flags, DispParams* params,
                      Variant* result, void* excep, uint32_t* argErr);
} DispatchVtbl;

typedef struct {
    const ClassFactoryVtbl* vtbl;
} ClassFactory;
typedef struct {
    const DispatchVtbl* vtbl;
} Dispatch;

static const Guid kIIDNull = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
static const Guid kIIDClassFactory = {1, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const Guid kIIDDispatch = {0x00020400, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
/* The echo server's published class identifier. */
static const Guid kClsidEcho = {0x5A1C0F3E, 0x8B2D, 0x4C61, {0x9E, 0x7A, 0x3D, 0x0B, 0x6F, 0x1A, 0x2C, 0x41}};

enum { VT_I4 = 3, VT_BSTR = 8, VT_BYREF = 0x4000, DISPATCH_METHOD = 1 };

typedef wchar_t* (*SysAllocStringFn)(const wchar_t*);
typedef void (*SysFreeStringFn)(wchar_t*);
typedef uint32_t (*SysStringLenFn)(wchar_t*);
typedef void (*VariantInitFn)(Variant*);
typedef int32_t (*VariantClearFn)(Variant*);
typedef int32_t (*DllGetClassObjectFn)(const Guid*, const Guid*, void**);
typedef int32_t (*DllCanUnloadNowFn)(void);

#define FAIL(...)                                    \
    do {                                             \
        snprintf(message, messageSize, __VA_ARGS__); \
        goto done;                                   \
    } while (0)

/* Returns 0 on success; otherwise non-zero and a description in message. */
int run_abi_client(const char* runtimePath, const char* serverPath, char* message, size_t messageSize) {
    int failed = 1;
    void* runtime = dlopen(runtimePath, RTLD_NOW | RTLD_LOCAL);
    void* server = NULL;
    ClassFactory* factory = NULL;
    Dispatch* echo = NULL;
    wchar_t* text = NULL;
    message[0] = 0;
    SysFreeStringFn sysFree = NULL; /* set before the first jump so the cleanup can test it */
    if (!runtime) FAIL("runtime: %s", dlerror());
    SysAllocStringFn sysAlloc = (SysAllocStringFn)dlsym(runtime, "SysAllocString");
    sysFree = (SysFreeStringFn)dlsym(runtime, "SysFreeString");
    SysStringLenFn sysLen = (SysStringLenFn)dlsym(runtime, "SysStringLen");
    VariantInitFn varInit = (VariantInitFn)dlsym(runtime, "VariantInit");
    VariantClearFn varClear = (VariantClearFn)dlsym(runtime, "VariantClear");
    if (!sysAlloc || !sysFree || !sysLen || !varInit || !varClear) FAIL("runtime export missing");

    server = dlopen(serverPath, RTLD_NOW | RTLD_LOCAL);
    if (!server) FAIL("server: %s", dlerror());
    DllGetClassObjectFn getClassObject = (DllGetClassObjectFn)dlsym(server, "DllGetClassObject");
    DllCanUnloadNowFn canUnloadNow = (DllCanUnloadNowFn)dlsym(server, "DllCanUnloadNow");
    if (!getClassObject || !canUnloadNow) FAIL("server export missing");

    int32_t hr = getClassObject(&kClsidEcho, &kIIDClassFactory, (void**)&factory);
    if (hr < 0 || !factory) FAIL("DllGetClassObject: 0x%08x", (unsigned)hr);
    hr = factory->vtbl->CreateInstance(factory, NULL, &kIIDDispatch, (void**)&echo);
    factory->vtbl->Release(factory);
    factory = NULL;
    if (hr < 0 || !echo) FAIL("CreateInstance: 0x%08x", (unsigned)hr);

    /* Subtract(10, 3): arguments travel last first, so rgvarg[0] is 3. */
    wchar_t subtractName[] = L"subtract"; /* names compare without case */
    wchar_t* names[1] = {subtractName};
    int32_t id = -1;
    hr = echo->vtbl->GetIDsOfNames(echo, &kIIDNull, names, 1, 0x800, &id);
    if (hr < 0) FAIL("GetIDsOfNames: 0x%08x", (unsigned)hr);
    Variant args[2];
    varInit(&args[0]);
    varInit(&args[1]);
    args[0].vt = VT_I4;
    args[0].u.lVal = 3;
    args[1].vt = VT_I4;
    args[1].u.lVal = 10;
    DispParams params = {args, NULL, 2, 0};
    Variant result;
    varInit(&result);
    uint32_t argErr = 0;
    hr = echo->vtbl->Invoke(echo, id, &kIIDNull, 0x400, DISPATCH_METHOD, &params, &result, NULL, &argErr);
    if (hr < 0) FAIL("Invoke Subtract: 0x%08x", (unsigned)hr);
    if (result.vt != VT_I4 || result.u.lVal != 7) FAIL("Subtract gave vt %u value %d", result.vt, result.u.lVal);

    /* AppendRef(&text, "cd") with text "ab": a by-reference BSTR the server replaces. */
    wchar_t appendName[] = L"AppendRef";
    names[0] = appendName;
    hr = echo->vtbl->GetIDsOfNames(echo, &kIIDNull, names, 1, 0x800, &id);
    if (hr < 0) FAIL("GetIDsOfNames AppendRef: 0x%08x", (unsigned)hr);
    text = sysAlloc(L"ab");
    args[1].vt = VT_BYREF | VT_BSTR;
    args[1].u.pbstrVal = &text;
    args[0].vt = VT_BSTR;
    args[0].u.bstrVal = sysAlloc(L"cd");
    hr = echo->vtbl->Invoke(echo, id, &kIIDNull, 0x400, DISPATCH_METHOD, &params, NULL, NULL, &argErr);
    varClear(&args[0]);
    if (hr < 0) FAIL("Invoke AppendRef: 0x%08x", (unsigned)hr);
    /* The length prefix sits just before the text and counts bytes. */
    uint32_t prefix;
    memcpy(&prefix, (const char*)text - 4, sizeof prefix);
    if (sysLen(text) != 4 || wcscmp(text, L"abcd") != 0 || prefix != 4 * sizeof(wchar_t))
        FAIL("AppendRef gave length %u", sysLen(text));

    echo->vtbl->Release(echo);
    echo = NULL;
    if (canUnloadNow() != 0) FAIL("DllCanUnloadNow refuses after the last release");
    failed = 0;
done:
    if (text && sysFree) sysFree(text);
    if (echo) echo->vtbl->Release(echo);
    if (server) dlclose(server);
    if (runtime) dlclose(runtime);
    return failed;
}
