// Security support provider interface of the simulated machine: what the secure-channel package
// "schannel" offers through its function table (security.h, sspi.h and schannel.h on Windows).
// The library reaches it only through LoadLibraryA("schannel") and "InitSecurityInterfaceA".
#pragma once

#include "winsim/wintypes.h"

typedef LONG SECURITY_STATUS;
typedef char SEC_CHAR;

#define SEC_E_OK ((SECURITY_STATUS)0x00000000L)
#define SEC_E_INVALID_HANDLE ((SECURITY_STATUS)0x80090301L)
#define SEC_E_UNSUPPORTED_FUNCTION ((SECURITY_STATUS)0x80090302L)
#define SEC_E_SECPKG_NOT_FOUND ((SECURITY_STATUS)0x80090305L)
#define SEC_E_UNKNOWN_CREDENTIALS ((SECURITY_STATUS)0x8009030DL)
#define SEC_E_NO_CREDENTIALS ((SECURITY_STATUS)0x8009030EL)

#define SECPKG_CRED_INBOUND 0x00000001
#define SECPKG_CRED_OUTBOUND 0x00000002

typedef struct _SecHandle {
    ULONG_PTR dwLower;
    ULONG_PTR dwUpper;
} SecHandle, *PSecHandle;
typedef SecHandle CredHandle;
typedef PSecHandle PCredHandle;
typedef LARGE_INTEGER TimeStamp;
typedef LARGE_INTEGER* PTimeStamp;

typedef void(WINAPI* SEC_GET_KEY_FN)(void* Arg, void* Principal, DWORD KeyVer, void** Key,
                                     SECURITY_STATUS* Status);
typedef SECURITY_STATUS(WINAPI* ACQUIRE_CREDENTIALS_HANDLE_FN_A)(SEC_CHAR*, SEC_CHAR*, DWORD, void*, void*,
                                                                 SEC_GET_KEY_FN, void*, PCredHandle,
                                                                 PTimeStamp);
typedef SECURITY_STATUS(WINAPI* FREE_CREDENTIALS_HANDLE_FN)(PCredHandle);
typedef SECURITY_STATUS(WINAPI* QUERY_CREDENTIALS_ATTRIBUTES_FN_A)(PCredHandle, DWORD, void*);

// The leading members of the table, in Windows' order; the SDK headers the Windows build uses
// spell the release member either way, so both names are given.
typedef struct _SECURITY_FUNCTION_TABLE_A {
    DWORD dwVersion;
    void* EnumerateSecurityPackagesA;
    QUERY_CREDENTIALS_ATTRIBUTES_FN_A QueryCredentialsAttributesA;
    ACQUIRE_CREDENTIALS_HANDLE_FN_A AcquireCredentialsHandleA;
    union {
        FREE_CREDENTIALS_HANDLE_FN FreeCredentialsHandle;
        FREE_CREDENTIALS_HANDLE_FN FreeCredentialHandle;
    };
} SecurityFunctionTableA, *PSecurityFunctionTableA;

typedef PSecurityFunctionTableA(WINAPI* INIT_SECURITY_INTERFACE_A)(void);
#define SECURITY_ENTRYPOINT_ANSIA "InitSecurityInterfaceA"

// schannel.h
#define UNISP_NAME_A "Microsoft Unified Security Protocol Provider"
#define SCHANNEL_CRED_VERSION 0x00000004
#define SECPKG_ATTR_CIPHER_STRENGTHS 0x57

typedef struct _SCHANNEL_CRED {
    DWORD dwVersion;
    DWORD cCreds;
    void** paCred;
    void* hRootStore;
    DWORD cMappers;
    void** aphMappers;
    DWORD cSupportedAlgs;
    unsigned int* palgSupportedAlgs;
    DWORD grbitEnabledProtocols;
    DWORD dwMinimumCipherStrength;
    DWORD dwMaximumCipherStrength;
    DWORD dwSessionLifespan;
    DWORD dwFlags;
    DWORD dwCredFormat;
} SCHANNEL_CRED, *PSCHANNEL_CRED;

typedef struct _SecPkgCred_CipherStrengths {
    DWORD dwMinimumCipherStrength;
    DWORD dwMaximumCipherStrength;
} SecPkgCred_CipherStrengths, *PSecPkgCred_CipherStrengths;
