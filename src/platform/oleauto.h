// OLE Automation types for the portable core: status codes, VARIANT, BSTR and the handful of
// oleaut32 services the core calls.
//
// Windows builds get the real declarations from the SDK. Other builds get a compatible subset with
// the same names, values, member names and signatures (including the SDK's non-const source
// arguments), so code written against this header compiles unchanged in both builds. The
// non-Windows services are implemented in platform/posix/oleauto.cpp; their contracts are stated
// below where they differ from, or narrow, the documented Windows behaviour.
//
// Differences to keep in mind:
// - OLECHAR is wchar_t in both builds: UTF-16 code units on Windows, UTF-32 code points elsewhere.
// - BSTRs are allocated by this layer and must be freed with SysFreeString (never free/delete).
// - SAFEARRAY and IRecordInfo exist only as incomplete types outside Windows; VariantClear and
//   VariantCopy refuse array and record variants there (DISP_E_BADVARTYPE).
#pragma once

#if defined(_WIN32)

#include <ole2.h>
#include <oleauto.h>
#include <windows.h>

#else  // !_WIN32

#include <cstddef>
#include <cstdint>
#include <cwchar>

// ---- Basic Windows types (fixed widths as on Windows, where long is 32 bits) ----
typedef int32_t HRESULT;
typedef int32_t SCODE;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef char CHAR;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef int INT;
typedef unsigned int UINT;
typedef float FLOAT;
typedef double DOUBLE;
typedef void* PVOID;
typedef const char* LPCSTR;
typedef DWORD LCID;
typedef LONG DISPID;

typedef wchar_t OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef OLECHAR* BSTR;

typedef unsigned short VARTYPE;
typedef short VARIANT_BOOL;
typedef double DATE;

#ifndef WINAPI
#define WINAPI
#endif
#ifndef STDMETHODCALLTYPE
#define STDMETHODCALLTYPE
#endif

// ---- Status codes ----
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001u)
#define E_NOINTERFACE ((HRESULT)0x80004002u)
#define E_POINTER ((HRESULT)0x80004003u)
#define E_ABORT ((HRESULT)0x80004004u)
#define E_FAIL ((HRESULT)0x80004005u)
#define E_UNEXPECTED ((HRESULT)0x8000FFFFu)
#define E_ACCESSDENIED ((HRESULT)0x80070005u)
#define E_HANDLE ((HRESULT)0x80070006u)
#define E_OUTOFMEMORY ((HRESULT)0x8007000Eu)
#define E_INVALIDARG ((HRESULT)0x80070057u)

#define DISP_E_UNKNOWNINTERFACE ((HRESULT)0x80020001u)
#define DISP_E_MEMBERNOTFOUND ((HRESULT)0x80020003u)
#define DISP_E_PARAMNOTFOUND ((HRESULT)0x80020004u)
#define DISP_E_TYPEMISMATCH ((HRESULT)0x80020005u)
#define DISP_E_UNKNOWNNAME ((HRESULT)0x80020006u)
#define DISP_E_NONAMEDARGS ((HRESULT)0x80020007u)
#define DISP_E_BADVARTYPE ((HRESULT)0x80020008u)
#define DISP_E_EXCEPTION ((HRESULT)0x80020009u)
#define DISP_E_OVERFLOW ((HRESULT)0x8002000Au)
#define DISP_E_BADINDEX ((HRESULT)0x8002000Bu)
#define DISP_E_BADPARAMCOUNT ((HRESULT)0x8002000Eu)
#define DISP_E_DIVBYZERO ((HRESULT)0x80020012u)

#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

// ---- Locales and flags ----
#define LOCALE_USER_DEFAULT ((LCID)0x0400)
#define LOCALE_SYSTEM_DEFAULT ((LCID)0x0800)
#define LOCALE_INVARIANT ((LCID)0x007F)

#define VARIANT_NOVALUEPROP 0x01
#define VARIANT_ALPHABOOL 0x02
#define VARIANT_NOUSEROVERRIDE 0x04
#define VARIANT_LOCALBOOL 0x10

#define VARCMP_LT 0
#define VARCMP_EQ 1
#define VARCMP_GT 2
#define VARCMP_NULL 3

// ---- Variant type codes ----
enum VARENUM {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_PTR = 26,
  VT_SAFEARRAY = 27,
  VT_CARRAY = 28,
  VT_USERDEFINED = 29,
  VT_LPSTR = 30,
  VT_LPWSTR = 31,
  VT_RECORD = 36,
  VT_INT_PTR = 37,
  VT_UINT_PTR = 38,
  VT_FILETIME = 64,
  VT_BLOB = 65,
  VT_STREAM = 66,
  VT_STORAGE = 67,
  VT_STREAMED_OBJECT = 68,
  VT_STORED_OBJECT = 69,
  VT_BLOB_OBJECT = 70,
  VT_CF = 71,
  VT_CLSID = 72,
  VT_VERSIONED_STREAM = 73,
  VT_BSTR_BLOB = 0xfff,
  VT_VECTOR = 0x1000,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_RESERVED = 0x8000,
  VT_ILLEGAL = 0xffff,
  VT_ILLEGALMASKED = 0xfff,
  VT_TYPEMASK = 0xfff
};

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

// ---- GUIDs and the two base interfaces ----
struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
inline bool IsEqualIID(REFIID a, REFIID b) {
  return IsEqualGUID(a, b);
}
inline bool operator==(REFGUID a, REFGUID b) {
  return IsEqualGUID(a, b);
}
inline bool operator!=(REFGUID a, REFGUID b) {
  return !IsEqualGUID(a, b);
}

extern const IID IID_IUnknown;   // {00000000-0000-0000-C000-000000000046}
extern const IID IID_IDispatch;  // {00020400-0000-0000-C000-000000000046}
extern const IID IID_NULL;       // all zero

// The vtable layout matches COM's, so objects made by Windows-style code work in both builds.
struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

struct ITypeInfo;
struct IRecordInfo;
struct tagSAFEARRAY;
typedef struct tagSAFEARRAY SAFEARRAY;

// ---- CY, DECIMAL, VARIANT ----
typedef union tagCY {
  struct {
    ULONG Lo;
    LONG Hi;
  };
  LONGLONG int64;
} CY;

typedef struct tagDEC {
  USHORT wReserved;
  BYTE scale;
  BYTE sign;
  ULONG Hi32;
  ULONGLONG Lo64;
} DECIMAL;

struct IDispatch;

typedef struct tagVARIANT VARIANT;
typedef struct tagVARIANT VARIANTARG;
typedef VARIANT* LPVARIANT;
typedef VARIANT* LPVARIANTARG;

struct tagVARIANT {
  union {
    struct {
      VARTYPE vt;
      WORD wReserved1;
      WORD wReserved2;
      WORD wReserved3;
      union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        FLOAT* pfltVal;
        DOUBLE* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        CY* pcyVal;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        VARIANT* pvarVal;
        PVOID byref;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        DECIMAL* pdecVal;
        CHAR* pcVal;
        USHORT* puiVal;
        ULONG* pulVal;
        ULONGLONG* pullVal;
        INT* pintVal;
        UINT* puintVal;
        struct {
          PVOID pvRecord;
          IRecordInfo* pRecInfo;
        };
      };
    };
    DECIMAL decVal;
  };
};

// ---- IDispatch ----
typedef struct tagDISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
} DISPPARAMS;

typedef struct tagEXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  PVOID pvReserved;
  HRESULT(STDMETHODCALLTYPE* pfnDeferredFillIn)(struct tagEXCEPINFO*);
  SCODE scode;
} EXCEPINFO;

#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPATCH_PROPERTYPUTREF 0x8
#define DISPID_UNKNOWN ((DISPID)-1)
#define DISPID_VALUE ((DISPID)0)
#define DISPID_PROPERTYPUT ((DISPID)-3)

struct IDispatch : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count,
                                                  LCID lcid, DISPID* ids) = 0;
  virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                           DISPPARAMS* params, VARIANT* result,
                                           EXCEPINFO* excepinfo, UINT* arg_err) = 0;
};

// ---- BSTR services ----
// A BSTR is preceded by a 32-bit byte count and followed by a zero character; it may hold zeros.
// Allocation failures (and lengths whose byte count does not fit 32 bits) return null.

// Copies a zero-terminated text; null in gives null out.
BSTR SysAllocString(const OLECHAR* text);
// `length` characters from `text`; with a null `text` the characters are zero-filled.
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
// `length` bytes from `bytes` (zero-filled when null); the byte count need not fill a character.
BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length);
// Replaces *bstr by a new copy of `text`; FALSE (0) and *bstr unchanged when allocation fails.
INT SysReAllocString(BSTR* bstr, const OLECHAR* text);
INT SysReAllocStringLen(BSTR* bstr, const OLECHAR* text, UINT length);
// Null is allowed.
void SysFreeString(BSTR bstr);
// Characters (bytes) in the string; 0 for null.
UINT SysStringLen(BSTR bstr);
UINT SysStringByteLen(BSTR bstr);

// ---- VARIANT services ----
// Sets vt to VT_EMPTY; the payload is not touched (as on Windows).
void VariantInit(VARIANTARG* v);
// Releases what the variant owns (BSTR, interface reference) and leaves it VT_EMPTY.
// By-reference variants own nothing. Array and record variants: DISP_E_BADVARTYPE (unchanged).
// A type code outside the known set: DISP_E_BADVARTYPE.
HRESULT VariantClear(VARIANTARG* v);
// Clears *dest, then makes it a deep copy of *src (BSTRs duplicated, interfaces AddRef'd).
// E_OUTOFMEMORY when a BSTR cannot be allocated (dest is then VT_EMPTY). dest == src does nothing.
HRESULT VariantCopy(VARIANTARG* dest, VARIANTARG* src);
// Converts *src to type `vt` into *dest (dest may equal src). On failure *dest is unchanged.
// Only the conversions this code base asks for, with the platform's results:
// - a type to itself (a copy);
// - VT_EMPTY to VT_NULL, VT_BSTR (an empty string), VT_DECIMAL and every integer, real, VT_CY,
//   VT_DATE and VT_BOOL type (zero, false);
// - VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_INT, VT_UINT, VT_I8, VT_UI8 to VT_BSTR in
//   decimal; VT_R8 and VT_R4 to VT_BSTR with 15 and 7 significant digits ("%G" style: "0.5",
//   "1E+20", "1E-05"; -0 as "0");
// - VT_BSTR to VT_R8: surrounding white space, an optional sign, digits with optional ','
//   group separators, an optional fraction and exponent, or "&H"/"&O" with hexadecimal/octal
//   digits (the platform's syntax in an English locale, without its rarer forms: trailing signs,
//   parentheses, currency symbols, dates). Other text and a null BSTR give DISP_E_TYPEMISMATCH;
//   a number beyond the double range gives DISP_E_OVERFLOW.
// Every other conversion, including any by-reference or array source, gives DISP_E_TYPEMISMATCH
// (the platform would carry out many of them); unknown type codes give DISP_E_BADVARTYPE. `flags`
// is ignored.
HRESULT VariantChangeType(VARIANTARG* dest, VARIANTARG* src, USHORT flags, VARTYPE vt);
// The locale is ignored: conversions use the invariant format, as above.
HRESULT VariantChangeTypeEx(VARIANTARG* dest, VARIANTARG* src, LCID lcid, USHORT flags, VARTYPE vt);

#endif  // !_WIN32
