/* The COM base the layer's interfaces derive from.
 *
 * Interfaces are C++ abstract classes with nothing but pure virtual methods
 * and no virtual destructor, so their vtables hold exactly the methods in
 * declaration order, as on Windows. Objects are destroyed by their final
 * Release, never with delete through an interface pointer. */
#ifndef KOVA_WIN_COM_H
#define KOVA_WIN_COM_H

#include "win_types.h"

#ifndef __cplusplus
#error "the layer's COM interfaces are C++ classes"
#endif

#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef IUnknown *LPUNKNOWN;

/* GUID comparison, as the real headers offer it. */
inline bool IsEqualGUID(REFGUID a, REFGUID b)
{
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           a.Data4[0] == b.Data4[0] && a.Data4[1] == b.Data4[1] && a.Data4[2] == b.Data4[2] &&
           a.Data4[3] == b.Data4[3] && a.Data4[4] == b.Data4[4] && a.Data4[5] == b.Data4[5] &&
           a.Data4[6] == b.Data4[6] && a.Data4[7] == b.Data4[7];
}
#define IsEqualIID(a, b) IsEqualGUID(a, b)
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }

extern "C" __attribute__((visibility("default"))) const IID IID_IUnknown;

#endif
