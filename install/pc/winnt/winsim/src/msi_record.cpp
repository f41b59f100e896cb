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

template <class Fn> UINT WithRecord(const char* function, const char* arg, MSIHANDLE hRecord, Fn use) {
    return WithHandle(function, arg, hRecord, Kind::Record,
                      [&](Handle& h) -> UINT { return use(*h.record); });
}

// The calls that answer a value: a fault or a bad handle both give `failed`.
template <class T, class Fn> T RecordValue(const char* function, MSIHANDLE hRecord, T failed, Fn use) {
    Guard g(MachineLock());
    if (Fault(function))
        return failed;
    auto rec = FindRecord(hRecord);
    return rec ? use(*rec) : failed;
}

// A new value starts its stream reads from the beginning.
UINT Store(Record& rec, UINT iField, Field value) {
    rec.fields[iField] = std::move(value);
    rec.readPos[iField] = 0;
    return ERROR_SUCCESS;
}

} // namespace

MSIHANDLE WINAPI MsiCreateRecord(UINT cParams) {
    Guard g(MachineLock());
    if (Fault("MsiCreateRecord"))
        return 0;
    if (cParams > kMaxFields)
        return 0;
    return NewHandle(std::make_shared<Record>(cParams));
}

BOOL WINAPI MsiRecordIsNull(MSIHANDLE hRecord, UINT iField) {
    return RecordValue("MsiRecordIsNull", hRecord, FALSE, [&](const Record& rec) {
        if (iField > rec.Count())
            return TRUE;
        return rec.fields[iField].kind == Field::Null ? TRUE : FALSE;
    });
}

UINT WINAPI MsiRecordDataSize(MSIHANDLE hRecord, UINT iField) {
    return RecordValue("MsiRecordDataSize", hRecord, 0u, [&](const Record& rec) -> UINT {
        if (iField > rec.Count())
            return 0;
        const Field& f = rec.fields[iField];
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
    });
}

UINT WINAPI MsiRecordSetInteger(MSIHANDLE hRecord, UINT iField, int iValue) {
    return WithRecord("MsiRecordSetInteger", nullptr, hRecord, [&](Record& rec) -> UINT {
        if (iField > rec.Count())
            return ERROR_INVALID_PARAMETER;
        return Store(rec, iField,
                     iValue == static_cast<int>(MSI_NULL_INTEGER) ? Field::null() : Field::integer(iValue));
    });
}

UINT WINAPI MsiRecordSetStringA(MSIHANDLE hRecord, UINT iField, LPCSTR szValue) {
    return WithRecord("MsiRecordSetStringA", szValue, hRecord, [&](Record& rec) -> UINT {
        if (iField > rec.Count())
            return ERROR_INVALID_PARAMETER;
        return Store(rec, iField, (!szValue || !*szValue) ? Field::null() : Field::str(szValue));
    });
}

int WINAPI MsiRecordGetInteger(MSIHANDLE hRecord, UINT iField) {
    const int null = static_cast<int>(MSI_NULL_INTEGER);
    return RecordValue("MsiRecordGetInteger", hRecord, null, [&](const Record& rec) {
        if (iField > rec.Count())
            return null;
        const Field& f = rec.fields[iField];
        if (f.kind == Field::Int)
            return f.i;
        if (f.kind == Field::Str)
            return ParseInteger(f.s);
        return null;
    });
}

UINT WINAPI MsiRecordGetStringA(MSIHANDLE hRecord, UINT iField, LPSTR szValueBuf, LPDWORD pcchValueBuf) {
    return WithRecord("MsiRecordGetStringA", nullptr, hRecord, [&](const Record& rec) -> UINT {
        if (!pcchValueBuf)
            return ERROR_INVALID_PARAMETER;
        if (iField <= rec.Count() && rec.fields[iField].kind == Field::Stream)
            return ERROR_INVALID_DATATYPE;
        const std::string value = iField <= rec.Count() ? FieldText(rec.fields[iField]) : std::string();
        return CopyValue(value, szValueBuf, pcchValueBuf, false);
    });
}

UINT WINAPI MsiRecordGetFieldCount(MSIHANDLE hRecord) {
    return RecordValue("MsiRecordGetFieldCount", hRecord, static_cast<UINT>(-1),
                       [](const Record& rec) { return static_cast<UINT>(rec.Count()); });
}

UINT WINAPI MsiRecordSetStreamA(MSIHANDLE hRecord, UINT iField, LPCSTR szFilePath) {
    return WithRecord("MsiRecordSetStreamA", szFilePath, hRecord, [&](Record& rec) -> UINT {
        if (iField == 0 || iField > rec.Count())
            return ERROR_INVALID_PARAMETER;
        if (!szFilePath) {
            // No file: rewind a stream already in the field.
            if (rec.fields[iField].kind != Field::Stream)
                return ERROR_INVALID_PARAMETER;
            rec.readPos[iField] = 0;
            return ERROR_SUCCESS;
        }
        auto bytes = winsim::fs::ReadFile(szFilePath);
        if (!bytes)
            return ERROR_FUNCTION_FAILED;
        return Store(rec, iField, Field::stream(*bytes));
    });
}

UINT WINAPI MsiRecordReadStream(MSIHANDLE hRecord, UINT iField, char* szDataBuf, LPDWORD pcbDataBuf) {
    return WithRecord("MsiRecordReadStream", nullptr, hRecord, [&](Record& rec) -> UINT {
        if (!pcbDataBuf || iField > rec.Count())
            return ERROR_INVALID_PARAMETER;
        const Field& f = rec.fields[iField];
        if (f.kind != Field::Stream)
            return ERROR_INVALID_DATATYPE;
        size_t& pos = rec.readPos[iField];
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
    });
}

UINT WINAPI MsiRecordClearData(MSIHANDLE hRecord) {
    return WithRecord("MsiRecordClearData", nullptr, hRecord, [](Record& rec) -> UINT {
        std::fill(rec.fields.begin(), rec.fields.end(), Field::null());
        std::fill(rec.readPos.begin(), rec.readPos.end(), 0);
        return ERROR_SUCCESS;
    });
}

MSIHANDLE WINAPI MsiGetLastErrorRecord(void) {
    Guard g(MachineLock());
    if (Fault("MsiGetLastErrorRecord"))
        return 0;
    auto rec = std::move(S().lastError);
    S().lastError.reset();
    if (!rec)
        return 0;
    return NewHandle(std::move(rec));
}
