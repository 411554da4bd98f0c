#include "FbParams.h"

#include "FbInternal.h"
#include "fb.h"
#include "platform/Encoding.h"
#include "platform/IniFile.h"

#include <array>
#include <limits>

using namespace db::connection;

namespace {

// The DPB parameter names without their "isc_dpb_" prefix; the code is the position, from 1.
constexpr std::array<const char*, 83> DPBNames = {"cdd_pathname",
                                                  "allocation",
                                                  "journal",
                                                  "page_size",
                                                  "num_buffers",
                                                  "buffer_length",
                                                  "debug",
                                                  "garbage_collect",
                                                  "verify",
                                                  "sweep",
                                                  "enable_journal",
                                                  "disable_journal",
                                                  "dbkey_scope",
                                                  "number_of_users",
                                                  "trace",
                                                  "no_garbage_collect",
                                                  "damaged",
                                                  "license",
                                                  "sys_user_name",
                                                  "encrypt_key",
                                                  "activate_shadow",
                                                  "sweep_interval",
                                                  "delete_shadow",
                                                  "force_write",
                                                  "begin_log",
                                                  "quit_log",
                                                  "no_reserve",
                                                  "user_name",
                                                  "password",
                                                  "password_enc",
                                                  "sys_user_name_enc",
                                                  "interp",
                                                  "online_dump",
                                                  "old_file_size",
                                                  "old_num_files",
                                                  "old_file",
                                                  "old_start_page",
                                                  "old_start_seqno",
                                                  "old_start_file",
                                                  "drop_walfile",
                                                  "old_dump_id",
                                                  "wal_backup_dir",
                                                  "wal_chkptlen",
                                                  "wal_numbufs",
                                                  "wal_bufsize",
                                                  "wal_grp_cmt_wait",
                                                  "lc_messages",
                                                  "lc_ctype",
                                                  "cache_manager",
                                                  "shutdown",
                                                  "online",
                                                  "shutdown_delay",
                                                  "reserved",
                                                  "overwrite",
                                                  "sec_attach",
                                                  "disable_wal",
                                                  "connect_timeout",
                                                  "dummy_packet_interval",
                                                  "gbak_attach",
                                                  "sql_role_name",
                                                  "set_page_buffers",
                                                  "working_directory",
                                                  "sql_dialect",
                                                  "set_db_readonly",
                                                  "set_db_sql_dialect",
                                                  "gfix_attach",
                                                  "gstat_attach",
                                                  "gbak_ods_version",
                                                  "gbak_ods_minor_version",
                                                  "set_group_commit",
                                                  "gbak_validate",
                                                  "client_interbase_var",
                                                  "admin_option",
                                                  "flush_interval",
                                                  "instance_name",
                                                  "old_overwrite",
                                                  "archive_database",
                                                  "archive_journals",
                                                  "archive_sweep",
                                                  "archive_dumps",
                                                  "archive_recover",
                                                  "recover_until",
                                                  "force"};

// InterBase's code of instance_name; Firebird gives 75 to isc_dpb_trusted_role.
constexpr int IbDpbInstanceName = 75;

struct TFixedName {
    const char* Name;
    int Code;
};
// Firebird names whose codes InterBase gives to other parameters.
constexpr std::array<TFixedName, 3> FirebirdNames = {{{"no_db_triggers", isc_dpb_no_db_triggers},
                                                      {"set_db_charset", isc_dpb_set_db_charset},
                                                      {"utf8_filename", isc_dpb_utf8_filename}}};

int DPBCode(const QByteArray& name) {
    for (size_t i = 0; i < DPBNames.size(); ++i)
        if (name == DPBNames[i]) return int(i) + 1;
    for (const TFixedName& fixed : FirebirdNames)
        if (name == fixed.Name) return fixed.Code;
    return 0;
}

bool IsBlank(QChar c) {
    return c.unicode() <= 32;
}

QString TrimControls(const QString& s) {
    qsizetype first = 0, last = s.size();
    while (first < last && IsBlank(s[first]))
        ++first;
    while (last > first && IsBlank(s[last - 1]))
        --last;
    return s.mid(first, last - first);
}

QByteArray LowerAscii(QByteArray s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

QString UpperAscii(QString s) {
    for (QChar& c : s)
        if (c.unicode() >= u'a' && c.unicode() <= u'z') c = QChar(char16_t(c.unicode() - u'a' + u'A'));
    return s;
}

int ToInteger(const QByteArray& value) {
    return platform::StrToInt(platform::StringFromAnsi(value));
}

// Flags of the shutdown parameter: numbers and mode names separated by "," or ";".
int ShutdownFlags(const QByteArray& value) {
    static const struct {
        const char* Name;
        int Flag;
    } Modes[] = {{"attachment", isc_dpb_shut_attachment},
                 {"cache", isc_dpb_shut_cache},
                 {"force", isc_dpb_shut_force},
                 {"full", isc_dpb_shut_full},
                 {"mode_mask", isc_dpb_shut_mode_mask},
                 {"multi", isc_dpb_shut_multi},
                 {"normal", isc_dpb_shut_normal},
                 {"single", isc_dpb_shut_single},
                 {"transaction", isc_dpb_shut_transaction}};
    int flags = 0;
    QByteArray word;
    const auto addWord = [&] {
        if (word.isEmpty()) return;
        const QByteArray lower = LowerAscii(word);
        word.clear();
        int number = 0;
        if (platform::TryStrToInt(QString::fromLatin1(lower), number)) {
            flags |= number;
            return;
        }
        for (const auto& mode : Modes)
            if (lower == mode.Name) {
                flags |= mode.Flag;
                return;
            }
        flags |= -1;
    };
    for (char c : value) {
        if (c == ',' || c == ';')
            addWord();
        else
            word += c;
    }
    addWord();
    return flags;
}

// How a parameter's value goes into the DPB.
enum class TDPBForm {
    Text,        // the value's bytes, counted
    Dialect,     // the value with its first digit turned into its number
    IntegerByte, // the value as an integer, one byte
    Integer32,   // the value as an integer, four bytes little-endian
    Byte,        // a fixed byte, whatever the value
    Shutdown,    // the shutdown flags, or nothing for an empty value
    Empty,       // the code alone, with length 0
    Skipped,     // not sent to this kind of server
    Unsupported,
};
struct TDPBEncoding {
    TDPBForm Form;
    int Byte = 0;
};

TDPBEncoding DPBEncoding(int code, bool isFirebird) {
    switch (code) {
    case isc_dpb_user_name:
    case isc_dpb_password:
    case isc_dpb_password_enc:
    case isc_dpb_license:
    case isc_dpb_sys_user_name:
    case isc_dpb_encrypt_key:
    case isc_dpb_old_file:
    case isc_dpb_lc_messages:
    case isc_dpb_lc_ctype:
    case isc_dpb_sql_role_name:
        return {TDPBForm::Text};
    case isc_dpb_sql_dialect:
        return {TDPBForm::Dialect};
    case isc_dpb_num_buffers:
    case isc_dpb_verify:
    case isc_dpb_dbkey_scope:
    case isc_dpb_damaged:
    case isc_dpb_force_write:
    case isc_dpb_no_reserve:
    case isc_dpb_online_dump:
    case isc_dpb_old_file_size:
    case isc_dpb_shutdown_delay:
    case isc_dpb_overwrite:
    case isc_dpb_connect_timeout:
    case isc_dpb_dummy_packet_interval:
        return {TDPBForm::IntegerByte};
    case isc_dpb_sweep_interval:
        return {TDPBForm::Integer32};
    case isc_dpb_sweep:
        return {TDPBForm::Byte, isc_dpb_records};
    case isc_dpb_garbage_collect:
    case isc_dpb_no_garbage_collect:
        return {TDPBForm::Byte, 1};
    case isc_dpb_activate_shadow:
    case isc_dpb_delete_shadow:
    case isc_dpb_begin_log:
    case isc_dpb_quit_log:
        return {TDPBForm::Byte, 0};
    case isc_dpb_shutdown:
        return {TDPBForm::Shutdown};
    case isc_dpb_online:
        return {TDPBForm::Empty};
    case isc_dpb_set_db_charset:
        return {isFirebird ? TDPBForm::Text : TDPBForm::Skipped};
    case isc_dpb_no_db_triggers:
        return {isFirebird ? TDPBForm::Byte : TDPBForm::Skipped, 1};
    case isc_dpb_utf8_filename:
        return {isFirebird ? TDPBForm::Empty : TDPBForm::Skipped};
    case IbDpbInstanceName:
        return {isFirebird ? TDPBForm::Skipped : TDPBForm::Text};
    default:
        return {TDPBForm::Unsupported};
    }
}

void AppendDPBParameter(QByteArray& buffer, int code, TDPBEncoding encoding, const TParamLine& line) {
    const auto append = [&](const QByteArray& bytes) {
        if (bytes.size() > 255)
            RaiseFbErrorText(QStringLiteral("DPB Constant (isc_dpb_%s) value is longer than 255 bytes."),
                             {QString::fromLatin1(line.Name)});
        buffer += char(code);
        buffer += char(bytes.size());
        buffer += bytes;
    };
    const auto appendByte = [&](int byte) { append(QByteArray(1, char(byte & 0xFF))); };
    switch (encoding.Form) {
    case TDPBForm::Text:
        return append(line.Value);
    case TDPBForm::Dialect: {
        QByteArray dialect = line.Value;
        if (!dialect.isEmpty()) dialect[0] = char(dialect[0] - '0');
        return append(dialect);
    }
    case TDPBForm::IntegerByte:
        return appendByte(ToInteger(line.Value));
    case TDPBForm::Integer32: {
        const quint32 n = quint32(ToInteger(line.Value));
        QByteArray bytes;
        for (int shift = 0; shift < 32; shift += 8)
            bytes += char((n >> shift) & 0xFF);
        return append(bytes);
    }
    case TDPBForm::Byte:
        return appendByte(encoding.Byte);
    case TDPBForm::Shutdown:
        if (line.Value.isEmpty()) return append(QByteArray());
        return appendByte(ShutdownFlags(line.Value));
    case TDPBForm::Empty:
        return append(QByteArray());
    case TDPBForm::Skipped:
        return;
    case TDPBForm::Unsupported:
        RaiseFbError(FbClientError::DPBConstantUnsupported, {QString::fromLatin1(DPBNames[code - 1])});
    }
}

} // namespace

int db::connection::IndexOfDBConst(const QString& name, const platform::TStringList& params) {
    const QString upperName = UpperAscii(name);
    for (int i = 0; i < params.Count(); ++i) {
        const qsizetype pos = UpperAscii(params[i]).indexOf(upperName);
        if (pos == 0 || pos == 8) return i;
    }
    return -1;
}

int TDBParams::IndexOfDBConst(const QString& name) const {
    return db::connection::IndexOfDBConst(name, *this);
}

void TConnectParams::SetCharSet(const QString& value) {
    SetParam(QStringLiteral("lc_ctype"), UpperAscii(value));
}

QString TConnectParams::Param(const QString& name) const {
    const int index = FParams.IndexOfDBConst(name);
    if (index < 0) return QString();
    const QString& line = FParams[index];
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    return eq < 0 ? QString() : line.mid(eq + 1);
}

void TConnectParams::SetParam(const QString& name, const QString& value) {
    const int index = FParams.IndexOfDBConst(name);
    if (value.isEmpty()) {
        if (index >= 0) FParams.Delete(index);
        return;
    }
    const QString line = name + QLatin1Char('=') + value;
    if (index >= 0)
        FParams.Put(index, line);
    else
        FParams.Add(line);
}

TParamLine db::connection::ReadParamLine(platform::TStringList& params, int index, const char* prefix) {
    TParamLine result;
    const QString line = TrimControls(params[index]);
    if (line != params[index]) params.Put(index, line);
    if (line.isEmpty()) return result;
    const QByteArray text = platform::AnsiFromString(line);
    const qsizetype eq = text.indexOf('=');
    result.Empty = false;
    result.Name = LowerAscii(eq < 0 ? text : text.left(eq));
    result.Value = eq < 0 ? QByteArray() : text.mid(eq + 1);
    if (result.Name.startsWith(prefix)) result.Name.remove(0, qsizetype(qstrlen(prefix)));
    return result;
}

void db::connection::GenerateDPB(platform::TStringList& params, QByteArray& dpb, short& dpbLength,
                                 bool isFirebird) {
    QByteArray buffer(1, char(isc_dpb_version1));
    for (int i = 0; i < params.Count(); ++i) {
        const TParamLine parsed = ReadParamLine(params, i, "isc_dpb_");
        if (parsed.Empty) continue;
        const int code = DPBCode(parsed.Name);
        if (code == 0)
            RaiseFbError(FbClientError::DPBConstantUnknown, {platform::StringFromAnsi(parsed.Name)});
        AppendDPBParameter(buffer, code, DPBEncoding(code, isFirebird), parsed);
    }
    if (buffer.size() > std::numeric_limits<short>::max())
        RaiseFbErrorText(QStringLiteral("The database parameter buffer is longer than %d bytes."),
                         {int(std::numeric_limits<short>::max())});
    dpb = buffer;
    dpbLength = short(buffer.size());
}
