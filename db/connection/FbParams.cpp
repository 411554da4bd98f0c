#include "FbParams.h"

#include "fb.h"
#include "platform/Encoding.h"
#include "platform/IniFile.h"

#include <array>
#include <limits>

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

struct TFixedName {
    const char* Name;
    int Code;
};
// Firebird names whose codes InterBase gives to other parameters.
constexpr std::array<TFixedName, 3> FirebirdNames = {
    {{"no_db_triggers", 72}, {"set_db_charset", 68}, {"utf8_filename", 77}}};

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
    } Modes[] = {{"attachment", 2}, {"cache", 1},   {"force", 8},   {"full", 64},      {"mode_mask", 112},
                 {"multi", 32},     {"normal", 16}, {"single", 48}, {"transaction", 4}};
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

} // namespace

int IndexOfDBConst(const QString& name, const platform::TStringList& params) {
    const QString upperName = UpperAscii(name);
    for (int i = 0; i < params.Count(); ++i) {
        const qsizetype pos = UpperAscii(params[i]).indexOf(upperName);
        if (pos == 0 || pos == 8) return i;
    }
    return -1;
}

int TDBParams::IndexOfDBConst(const QString& name) const {
    return ::IndexOfDBConst(name, *this);
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

TParamLine ReadParamLine(platform::TStringList& params, int index, const char* prefix) {
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

void GenerateDPB(platform::TStringList& params, QByteArray& dpb, short& dpbLength, bool isFirebird) {
    QByteArray buffer(1, char(isc_dpb_version1));

    for (int i = 0; i < params.Count(); ++i) {
        const TParamLine parsed = ReadParamLine(params, i, "isc_dpb_");
        if (parsed.Empty) continue;
        const QByteArray& name = parsed.Name;
        const QByteArray& value = parsed.Value;

        const int code = DPBCode(name);
        const auto appendValue = [&](const QByteArray& bytes) {
            if (bytes.size() > 255)
                RaiseFbErrorText(QStringLiteral("DPB Constant (isc_dpb_%s) value is longer than 255 bytes."),
                                 {QString::fromLatin1(name)});
            buffer += char(code);
            buffer += char(bytes.size());
            buffer += bytes;
        };
        const auto appendByte = [&](int byte) {
            buffer += char(code);
            buffer += char(1);
            buffer += char(byte & 0xFF);
        };

        switch (code) {
        case 28:
        case 29:
        case 30:
        case 18:
        case 19:
        case 20:
        case 36:
        case 47:
        case 48:
        case 60:
            appendValue(value);
            break;
        case 63: {
            QByteArray dialect = value;
            if (!dialect.isEmpty()) dialect[0] = char(dialect[0] - '0');
            appendValue(dialect);
            break;
        }
        case 5:
        case 9:
        case 13:
        case 17:
        case 24:
        case 27:
        case 33:
        case 34:
        case 52:
        case 54:
        case 57:
        case 58:
            appendByte(ToInteger(value));
            break;
        case 22: {
            const quint32 n = quint32(ToInteger(value));
            buffer += char(code);
            buffer += char(4);
            for (int shift = 0; shift < 32; shift += 8)
                buffer += char((n >> shift) & 0xFF);
            break;
        }
        case 10:
            appendByte(2);
            break;
        case 8:
        case 16:
            appendByte(1);
            break;
        case 21:
        case 23:
        case 25:
        case 26:
            appendByte(0);
            break;
        case 50:
            if (value.isEmpty()) {
                buffer += char(code);
                buffer += char(0);
            } else {
                appendByte(ShutdownFlags(value));
            }
            break;
        case 51:
            buffer += char(code);
            buffer += char(0);
            break;
        case 68:
            if (isFirebird) appendValue(value);
            break;
        case 72:
            if (isFirebird) appendByte(1);
            break;
        case 77:
            if (isFirebird) {
                buffer += char(code);
                buffer += char(0);
            }
            break;
        case 75:
            if (!isFirebird) appendValue(value);
            break;
        case 0:
            RaiseFbError(FbClientError::DPBConstantUnknown, {platform::StringFromAnsi(name)});
        default:
            RaiseFbError(FbClientError::DPBConstantUnsupported, {QString::fromLatin1(DPBNames[code - 1])});
        }
    }

    if (buffer.size() > std::numeric_limits<short>::max())
        RaiseFbErrorText(QStringLiteral("The database parameter buffer is longer than %d bytes."),
                         {int(std::numeric_limits<short>::max())});
    dpb = buffer;
    dpbLength = short(buffer.size());
}
