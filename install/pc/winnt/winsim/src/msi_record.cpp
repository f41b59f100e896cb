// Installer records: fields 0..n holding nothing, an integer, a string or a stream.
#include "msi_internal.h"

#include "winsim/sim_fs.h"

#include <algorithm>
#include <cstring>

using namespace winsim::msi::impl;
using winsim::detail::Guard;
using winsim::detail::MachineLock;
using winsim::msi::Field;

namespace {

constexpr UINT kMaxFields = 65535;

std::optional<DWORD> Fault(const char* function, const char* arg = nullptr) {
    auto error = winsim::Faulted(function, arg);
    if (error)
        winsim::detail::SetError(*error);
    return error;
}

// The engine reads a string field as an integer only when it is a plain decimal number; wider
// numbers wrap to 32 bits.
int ParseInteger(const std::string& s) {
    size_t i = (!s.empty() && s[0] == '-') ? 1 : 0;
    if (i == s.size())
        return static_cast<int>(MSI_NULL_INTEGER);
    uint32_t value = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9')
            return static_cast<int>(MSI_NULL_INTEGER);
        value = value * 10u + static_cast<uint32_t>(s[i] - '0');
    }
    return static_cast<int>(s[0] == '-' ? 0u - value : value);
}

} // namespace

MSIHANDLE WINAPI MsiCreateRecord(UINT cParams) {
    Guard g(MachineLock());
    if (Fault("MsiCreateRecord"))
        return 0;
    if (cParams > kMaxFields)
        return 0;
    Handle h;
    h.kind = Kind::Record;
    h.record = std::make_shared<Record>(cParams);
    return NewHandle(std::move(h));
}

BOOL WINAPI MsiRecordIsNull(MSIHANDLE hRecord, UINT iField) {
    Guard g(MachineLock());
    if (Fault("MsiRecordIsNull"))
        return FALSE;
    auto rec = FindRecord(hRecord);
    if (!rec)
        return FALSE;
    if (iField > rec->Count())
        return TRUE;
    return rec->fields[iField].kind == Field::Null ? TRUE : FALSE;
}

UINT WINAPI MsiRecordDataSize(MSIHANDLE hRecord, UINT iField) {
    Guard g(MachineLock());
    if (Fault("MsiRecordDataSize"))
        return 0;
    auto rec = FindRecord(hRecord);
    if (!rec || iField > rec->Count())
        return 0;
    const Field& f = rec->fields[iField];
    switch (f.kind) {
    case Field::Int:
        return sizeof(int);
    case Field::Str:
    case Field::Stream:
        return static_cast<UINT>(f.s.size());
    case Field::Null:
        break;
    }
    return 0;
}

UINT WINAPI MsiRecordSetInteger(MSIHANDLE hRecord, UINT iField, int iValue) {
    Guard g(MachineLock());
    if (auto e = Fault("MsiRecordSetInteger"))
        return *e;
    auto rec = FindRecord(hRecord);
    if (!rec)
        return ERROR_INVALID_HANDLE;
    if (iField > rec->Count())
        return ERROR_INVALID_PARAMETER;
    rec->fields[iField] =
        iValue == static_cast<int>(MSI_NULL_INTEGER) ? Field::null() : Field::integer(iValue);
    rec->readPos[iField] = 0;
    return ERROR_SUCCESS;
}

UINT WINAPI MsiRecordSetStringA(MSIHANDLE hRecord, UINT iField, LPCSTR szValue) {
    Guard g(MachineLock());
    if (auto e = Fault("MsiRecordSetStringA", szValue))
        return *e;
    auto rec = FindRecord(hRecord);
    if (!rec)
        return ERROR_INVALID_HANDLE;
    if (iField > rec->Count())
        return ERROR_INVALID_PARAMETER;
    rec->fields[iField] = (!szValue || !*szValue) ? Field::null() : Field::str(szValue);
    rec->readPos[iField] = 0;
    return ERROR_SUCCESS;
}

int WINAPI MsiRecordGetInteger(MSIHANDLE hRecord, UINT iField) {
    Guard g(MachineLock());
    if (Fault("MsiRecordGetInteger"))
        return static_cast<int>(MSI_NULL_INTEGER);
    auto rec = FindRecord(hRecord);
    if (!rec || iField > rec->Count())
        return static_cast<int>(MSI_NULL_INTEGER);
    const Field& f = rec->fields[iField];
    if (f.kind == Field::Int)
        return f.i;
    if (f.kind == Field::Str)
        return ParseInteger(f.s);
    return static_cast<int>(MSI_NULL_INTEGER);
}

UINT WINAPI MsiRecordGetStringA(MSIHANDLE hRecord, UINT iField, LPSTR szValueBuf, LPDWORD pcchValueBuf) {
    Guard g(MachineLock());
    if (auto e = Fault("MsiRecordGetStringA"))
        return *e;
    auto rec = FindRecord(hRecord);
    if (!rec)
        return ERROR_INVALID_HANDLE;
    if (!pcchValueBuf)
        return ERROR_INVALID_PARAMETER;
    if (iField <= rec->Count() && rec->fields[iField].kind == Field::Stream)
        return ERROR_INVALID_DATATYPE;
    const std::string value = iField <= rec->Count() ? FieldText(rec->fields[iField]) : std::string();
    return CopyValue(value, szValueBuf, pcchValueBuf, false);
}

UINT WINAPI MsiRecordGetFieldCount(MSIHANDLE hRecord) {
    Guard g(MachineLock());
    if (Fault("MsiRecordGetFieldCount"))
        return static_cast<UINT>(-1);
    auto rec = FindRecord(hRecord);
    return rec ? static_cast<UINT>(rec->Count()) : static_cast<UINT>(-1);
}

UINT WINAPI MsiRecordSetStreamA(MSIHANDLE hRecord, UINT iField, LPCSTR szFilePath) {
    Guard g(MachineLock());
    if (auto e = Fault("MsiRecordSetStreamA", szFilePath))
        return *e;
    auto rec = FindRecord(hRecord);
    if (!rec)
        return ERROR_INVALID_HANDLE;
    if (iField == 0 || iField > rec->Count())
        return ERROR_INVALID_PARAMETER;
    if (!szFilePath) {
        // No file: rewind a stream already in the field.
        if (rec->fields[iField].kind != Field::Stream)
            return ERROR_INVALID_PARAMETER;
        rec->readPos[iField] = 0;
        return ERROR_SUCCESS;
    }
    auto bytes = winsim::fs::ReadFile(szFilePath);
    if (!bytes)
        return ERROR_FUNCTION_FAILED;
    rec->fields[iField] = Field::stream(*bytes);
    rec->readPos[iField] = 0;
    return ERROR_SUCCESS;
}

UINT WINAPI MsiRecordReadStream(MSIHANDLE hRecord, UINT iField, char* szDataBuf, LPDWORD pcbDataBuf) {
    Guard g(MachineLock());
    if (auto e = Fault("MsiRecordReadStream"))
        return *e;
    auto rec = FindRecord(hRecord);
    if (!rec)
        return ERROR_INVALID_HANDLE;
    if (!pcbDataBuf || iField > rec->Count())
        return ERROR_INVALID_PARAMETER;
    const Field& f = rec->fields[iField];
    if (f.kind != Field::Stream)
        return ERROR_INVALID_DATATYPE;
    size_t& pos = rec->readPos[iField];
    const size_t left = f.s.size() - std::min(pos, f.s.size());
    if (!szDataBuf) {
        *pcbDataBuf = static_cast<DWORD>(left);
        return ERROR_SUCCESS;
    }
    const size_t n = std::min<size_t>(*pcbDataBuf, left);
    if (n)
        std::memcpy(szDataBuf, f.s.data() + pos, n);
    pos += n;
    *pcbDataBuf = static_cast<DWORD>(n);
    return ERROR_SUCCESS;
}

UINT WINAPI MsiRecordClearData(MSIHANDLE hRecord) {
    Guard g(MachineLock());
    if (auto e = Fault("MsiRecordClearData"))
        return *e;
    auto rec = FindRecord(hRecord);
    if (!rec)
        return ERROR_INVALID_HANDLE;
    std::fill(rec->fields.begin(), rec->fields.end(), Field::null());
    std::fill(rec->readPos.begin(), rec->readPos.end(), 0);
    return ERROR_SUCCESS;
}

MSIHANDLE WINAPI MsiGetLastErrorRecord(void) {
    Guard g(MachineLock());
    if (Fault("MsiGetLastErrorRecord"))
        return 0;
    auto rec = std::move(S().lastError);
    S().lastError.reset();
    if (!rec)
        return 0;
    Handle h;
    h.kind = Kind::Record;
    h.record = std::move(rec);
    return NewHandle(std::move(h));
}
