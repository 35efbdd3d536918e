#include "core/Config.h"

#include "core/TextFiles.h"

#include <vector>

namespace kx {

namespace {

const wchar_t kCommentPrefix[] = L"[#]";
const wchar_t kMissingSuffix[] = L"[NOFOUND]";
const wchar_t kLineEnd[] = L"\r\n";

// "\n" is a line break. "\\n" stands for a backslash and the letter n, so values that
// hold them (paths such as "C:\new") come back unchanged; any other backslash is plain.
Str Unescape(const Str &raw) {
    const wchar_t *from = raw.GetBuffer();
    int length = raw.GetLength();
    if (from == nullptr || wcschr(from, L'\\') == nullptr)
        return raw;
    Str value;
    value.SetLength(length);
    wchar_t *to = value.GetBuffer();
    int out = 0;
    for (int i = 0; i < length;) {
        if (from[i] == L'\\' && i + 1 < length && from[i + 1] == L'n') {
            to[out++] = L'\n';
            i += 2;
        } else if (from[i] == L'\\' && i + 2 < length && from[i + 1] == L'\\' && from[i + 2] == L'n') {
            to[out++] = L'\\';
            to[out++] = L'n';
            i += 3;
        } else {
            to[out++] = from[i++];
        }
    }
    value.Truncate(out);
    return value;
}

void AppendEscaped(Str &out, const Str &value) {
    const wchar_t *from = value.GetBuffer();
    int length = value.GetLength();
    int runStart = 0;
    for (int i = 0; i < length; ++i) {
        const wchar_t *replacement = nullptr;
        int skip = 1;
        if (from[i] == L'\n') {
            replacement = L"\\n";
        } else if (from[i] == L'\r') {
            replacement = L"";
        } else if (from[i] == L'\\' && i + 1 < length && from[i + 1] == L'n') {
            replacement = L"\\\\n";
            skip = 2;
        }
        if (replacement == nullptr)
            continue;
        if (i > runStart)
            out.Append(Str(value, runStart, i - runStart));
        out.Append(replacement);
        i += skip - 1;
        runStart = i + 1;
    }
    if (runStart == 0)
        out.Append(value);
    else if (runStart < length)
        out.Append(Str(value, runStart, length - runStart));
}

void AppendKeyLine(Str &out, const Str &key, int sectionLength, const Str &value) {
    out.Append(Str(key, sectionLength + 1, key.GetLength() - sectionLength - 1));
    out.Append(L"=");
    AppendEscaped(out, value);
    out.Append(kLineEnd);
}

bool StartsWithKeyOf(const Str &key, const Str &section, bool ignoreCase) {
    return key.GetLength() > section.GetLength() && key.StartsWith(section.GetBuffer(), ignoreCase) &&
           key.GetBuffer()[section.GetLength()] == L'.';
}

StrMap *NewEntries(bool ignoreCase) {
    StrMap *map = new StrMap(true, false, true, 0, 1.3);
    map->SetIgnoreCase(ignoreCase);
    return map;
}

} // namespace

ConfigStore::ConfigStore(bool reportMissing, bool ignoreCase)
    : dirty(false), reportMissing(reportMissing), ignoreCase(ignoreCase), entries(nullptr) {}

ConfigStore::~ConfigStore() { delete entries; }

StrMap &ConfigStore::GetEntries() {
    if (entries == nullptr)
        entries = NewEntries(ignoreCase);
    return *entries;
}

int ConfigStore::IndexOf(const wchar_t *key) const {
    if (key == nullptr)
        return -1;
    return IndexOf(Str(key));
}

int ConfigStore::IndexOf(const Str &key) const {
    if (entries == nullptr || key.IsNull())
        return -1;
    return entries->IndexOf(key);
}

bool ConfigStore::ContainsKey(const wchar_t *key) const { return IndexOf(key) >= 0; }
bool ConfigStore::ContainsKey(const Str &key) const { return IndexOf(key) >= 0; }

Str ConfigStore::Missing(const wchar_t *key) const {
    if (!reportMissing)
        return Str();
    Str text(key);
    text.Append(kMissingSuffix);
    return text;
}

Str ConfigStore::Get(const wchar_t *key) const {
    int index = IndexOf(key);
    return index >= 0 ? Str(entries->GetValue(index)) : Missing(key);
}

Str ConfigStore::Get(const Str &key) const { return Get(key.GetBuffer()); }

Str ConfigStore::Get(const wchar_t *key, const wchar_t *defaultValue) const {
    int index = IndexOf(key);
    return index >= 0 ? Str(entries->GetValue(index)) : Str(defaultValue);
}

Str ConfigStore::Get(const Str &key, const wchar_t *defaultValue) const { return Get(key.GetBuffer(), defaultValue); }

Str ConfigStore::GetFormat(const wchar_t *key, ...) const {
    va_list args;
    va_start(args, key);
    Str text = GetFormatV(key, args);
    va_end(args);
    return text;
}

Str ConfigStore::GetFormatV(const wchar_t *key, va_list args) const {
    int index = IndexOf(key);
    if (index < 0)
        return Missing(key);
    Str text;
    text.FormatV(entries->GetValue(index).GetBuffer(), args);
    return text;
}

int ConfigStore::GetInt(const wchar_t *key, int defaultValue) const {
    int index = IndexOf(key);
    return index >= 0 ? entries->GetValue(index).ToInt(10) : defaultValue;
}

int ConfigStore::GetInt(const Str &key, int defaultValue) const { return GetInt(key.GetBuffer(), defaultValue); }

bool ConfigStore::GetBool(const wchar_t *key, bool defaultValue) const {
    return GetInt(key, defaultValue ? 1 : 0) != 0;
}

bool ConfigStore::GetBool(const Str &key, bool defaultValue) const { return GetBool(key.GetBuffer(), defaultValue); }

void ConfigStore::Set(const Str &key, const Str &value) {
    if (key.IsNull())
        return;
    GetEntries().Add(key, value);
    dirty = true;
}

void ConfigStore::Set(const wchar_t *key, const wchar_t *value) {
    if (key == nullptr)
        return;
    Set(Str(key), value != nullptr ? Str(value) : Str(L""));
}

void ConfigStore::SetInt(const wchar_t *key, int n) { Set(key, Str().FromInt(n).GetBuffer()); }

void ConfigStore::SetBool(const wchar_t *key, bool b) { Set(key, b ? L"1" : L"0"); }

void ConfigStore::ClearKeysWithPrefix(const wchar_t *prefix) {
    StrMap &map = GetEntries();
    for (int i = 0; i < map.GetCount(); ++i)
        if (map.GetKey(i).StartsWith(prefix, ignoreCase))
            map.GetValue(i).Clear(true);
    dirty = true;
}

void ConfigStore::Merge(const StrMap &other, const wchar_t *prefix) {
    for (int i = 0; i < other.GetCount(); ++i)
        if (prefix == nullptr || other.GetKey(i).StartsWith(prefix, ignoreCase))
            Set(other.GetKey(i), other.GetValue(i));
}

void ConfigStore::Reset() {
    if (entries == nullptr) {
        GetEntries();
        return;
    }
    dirty = true;
    entries->Clear();
}

void ConfigStore::SetIgnoreCase(bool value) {
    ignoreCase = value;
    if (entries == nullptr || entries->IsIgnoreCase() == value)
        return;
    // The order depends on the case rule: rebuild under the new one.
    StrMap *rebuilt = NewEntries(value);
    for (int i = 0; i < entries->GetCount(); ++i)
        rebuilt->Add(entries->GetKey(i), entries->GetValue(i));
    delete entries;
    entries = rebuilt;
}

int ConfigStore::Parse(const Str &source, StrMap &target, bool keepComments) {
    Str text = source.IsUnicode() ? Str(source) : Str(CodePage(Str::UnicodeCodePage), source);
    text.Replace(L"\r", L"");
    Str *lines = nullptr;
    int lineCount = text.Split(L"\n", &lines);
    Str prefix(L"");
    int count = 0;
    try {
        for (int i = 0; i < lineCount; ++i) {
            Str &line = lines[i];
            line.Trim();
            int length = line.GetLength();
            if (length == 0)
                continue;
            wchar_t first = line.GetBuffer()[0];
            if (first == L'#' || first == L';' || first == L'[') {
                if (first == L'[' && length > 1 && line.GetBuffer()[length - 1] == L']') {
                    prefix = Str(line, 1, length - 2);
                    if (prefix.GetLength() > 0)
                        prefix.Append(L".");
                } else if (keepComments) {
                    target.Add(Str().Format(L"[#]%d", i), line);
                }
                continue;
            }
            int equals = line.IndexOf(L"=");
            if (equals <= 0)
                continue;
            target.Add(prefix + Str(line, 0, equals), Unescape(line.Substring(equals + 1)));
            ++count;
        }
    } catch (...) {
        delete[] lines;
        throw;
    }
    delete[] lines;
    return count;
}

int ConfigStore::MergeText(const Str &text) {
    StrMap read(true, false, true, 0, 1.3);
    read.SetIgnoreCase(ignoreCase);
    int count = Parse(text, read);
    Merge(read);
    return count;
}

int ConfigStore::LoadFile(const wchar_t *path, int codePage, bool forceWide) {
    Str text = forceWide ? Str() : Str(CodePage(codePage));
    if (ReadTextFile(text, path, codePage) < 0)
        return -1;
    return MergeText(text);
}

int ConfigStore::LoadResource(const wchar_t *name, const wchar_t *type, int codePage, bool forceWide) {
    Str text = forceWide ? Str() : Str(CodePage(codePage));
    if (Util::readRes(text, name, type, codePage) < 0)
        return -1;
    return MergeText(text);
}

Str ConfigStore::Compose(int codePage) const {
    int count = GetCount();
    Str out(MinCapacity(count * 20));
    out.Assign(L"");
    std::vector<bool> written(static_cast<size_t>(count), false);
    Str section(L"[.]");
    for (int i = 0; i < count; ++i) {
        const Str &key = entries->GetKey(i);
        const Str &value = entries->GetValue(i);
        if (key.StartsWith(kCommentPrefix)) {
            out.Append(value).Append(kLineEnd);
            continue;
        }
        int dot = key.GetLength() > 1 ? key.IndexOf(L".", 1) : -1;
        if (value.IsNull() || dot < 0 || written[static_cast<size_t>(i)])
            continue;
        if (!StartsWithKeyOf(key, section, false)) {
            // Keys of the open section that sort after this one (letter case differs).
            for (int j = i + 1; j < count && StartsWithKeyOf(entries->GetKey(j), section, true); ++j) {
                const Str &later = entries->GetKey(j);
                if (written[static_cast<size_t>(j)] || entries->GetValue(j).IsNull() ||
                    !StartsWithKeyOf(later, section, false))
                    continue;
                AppendKeyLine(out, later, section.GetLength(), entries->GetValue(j));
                written[static_cast<size_t>(j)] = true;
            }
            section = Str(key, 0, dot);
            out.Append(L"[").Append(section).Append(L"]").Append(kLineEnd);
        }
        AppendKeyLine(out, key, section.GetLength(), value);
    }
    if (codePage == Str::UnicodeCodePage)
        return out;
    return Str(CodePage(codePage), out);
}

int ConfigStore::Save(const wchar_t *path, int codePage) {
    if (!dirty)
        return 0;
    int count = GetCount();
    if (count == 0)
        return -1;
    if (!WriteTextFile(Compose(codePage), path, false))
        return -1;
    dirty = false;
    return count - 1;
}

} // namespace kx
