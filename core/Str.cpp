// The object root, the exceptions and kx::Str.
#include "core/Str.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <type_traits>
#include <vector>

namespace kx {

namespace {

const int MessageCeiling = 1024000;
const int FormatCeiling = 102400000;
// Largest unit count a buffer may hold, so byte sizes never overflow.
const int MaxUnits = 0x3FFFFFF0;

wchar_t *CopyText(const wchar_t *text) {
    if (!text)
        return nullptr;
    size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    wchar_t *copy = static_cast<wchar_t *>(std::malloc(bytes));
    if (copy)
        std::memcpy(copy, text, bytes);
    return copy;
}

// Formats into a block that starts at the format's length and doubles until the
// result fits or the ceiling is reached; the block is then cut to the result.
wchar_t *FormatMessageText(const wchar_t *format, va_list args) {
    if (!format || !*format)
        return CopyText(L"");
    int size = static_cast<int>(wcslen(format));
    if (size < 1)
        size = 1;
    for (;;) {
        wchar_t *block = static_cast<wchar_t *>(std::malloc((static_cast<size_t>(size) + 1) * sizeof(wchar_t)));
        if (!block)
            return nullptr;
        va_list copy;
        va_copy(copy, args);
        int written = _vsnwprintf(block, static_cast<size_t>(size) + 1, format, copy);
        va_end(copy);
        bool fits = written >= 0 && written <= size;
        if (fits || size >= MessageCeiling) {
            int kept = fits ? written : size;
            block[kept] = 0;
            void *cut = std::realloc(block, (static_cast<size_t>(kept) + 1) * sizeof(wchar_t));
            return cut ? static_cast<wchar_t *>(cut) : block;
        }
        std::free(block);
        size *= 2;
    }
}

inline unsigned Fold(unsigned unit, bool ignoreCase) {
    return (ignoreCase && unit >= 'A' && unit <= 'Z') ? unit + ('a' - 'A') : unit;
}

int NarrowLength(const char *text) { return text ? static_cast<int>(std::strlen(text)) : 0; }
int WideLength(const wchar_t *text) { return text ? static_cast<int>(wcslen(text)) : 0; }

[[noreturn]] void ThrowNoMemory() {
    throw OutOfMemoryException(L"Str::SetLength(int len, bool keep), ERROR for alloc memory.");
}

// Prints into a block of size units, doubling it until the result fits; null when
// it never fits below the ceiling. size and written then describe the block.
template <typename Ch, typename Printer>
Ch *PrintDoubling(Printer print, const Ch *format, va_list args, int &size, int &written) {
    for (; size < FormatCeiling; size *= 2) {
        Ch *block = static_cast<Ch *>(std::malloc((static_cast<size_t>(size) + 1) * sizeof(Ch)));
        if (!block)
            ThrowNoMemory();
        va_list copy;
        va_copy(copy, args);
        written = print(block, static_cast<size_t>(size) + 1, format, copy);
        va_end(copy);
        if (written >= 0 && written <= size) {
            block[written] = 0;
            return block;
        }
        std::free(block);
    }
    return nullptr;
}

// UTF-16 of count bytes in a code page.
std::vector<wchar_t> WideOf(const char *text, int count, int fromCodePage) {
    std::vector<wchar_t> wide;
    if (count <= 0)
        return wide;
    int units = MultiByteToWideChar(static_cast<UINT>(fromCodePage), 0, text, count, nullptr, 0);
    if (units <= 0)
        return wide;
    wide.resize(units);
    MultiByteToWideChar(static_cast<UINT>(fromCodePage), 0, text, count, wide.data(), units);
    return wide;
}

// Bytes of count wide characters in a code page.
std::vector<char> NarrowOf(const wchar_t *text, int count, int toCodePage) {
    std::vector<char> narrow;
    if (count <= 0)
        return narrow;
    int bytes = WideCharToMultiByte(static_cast<UINT>(toCodePage), 0, text, count, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return narrow;
    narrow.resize(bytes);
    WideCharToMultiByte(static_cast<UINT>(toCodePage), 0, text, count, narrow.data(), bytes, nullptr, nullptr);
    return narrow;
}

} // namespace

// ---- Object ----

Object::Object() : disposed(false) {}
Object::Object(const Object &) : disposed(false) {}
Object &Object::operator=(const Object &) { return *this; }
Object::~Object() { disposed = true; }

Str Object::ToString() const {
    Str text = GetTypeName();
    wchar_t address[16];
    _snwprintf(address, 16, L"@%d", static_cast<int>(reinterpret_cast<intptr_t>(this)));
    address[15] = 0;
    return text.Append(address);
}

bool Object::Equals(const Object &other) const { return &other == this; }
void Object::Dispose() { disposed = true; }
bool Object::IsDisposed() const { return disposed; }
Str Object::GetTypeName() const { return Str(L"kx::Object"); }

// ---- Exceptions ----

Exception::Exception(const wchar_t *format, ...) : message(nullptr), auxText(CopyText(L"")) {
    va_list args;
    va_start(args, format);
    message = FormatMessageText(format, args);
    va_end(args);
}

Exception::Exception(VaListTag) : message(nullptr), auxText(CopyText(L"")) {}

void Exception::FormatFrom(const wchar_t *format, va_list args) {
    std::free(message);
    message = FormatMessageText(format, args);
}

Exception::Exception(const Exception &other)
    : Object(other), message(CopyText(other.message)), auxText(CopyText(other.auxText)) {}

Exception &Exception::operator=(const Exception &other) {
    if (this != &other) {
        wchar_t *newMessage = CopyText(other.message);
        wchar_t *newAux = CopyText(other.auxText);
        std::free(message);
        std::free(auxText);
        message = newMessage;
        auxText = newAux;
    }
    return *this;
}

Exception::~Exception() {
    std::free(message);
    std::free(auxText);
}

Str Exception::ToString() const { return Str(GetAuxText()); }
Str Exception::GetTypeName() const { return Str(L"kx::Exception"); }

#define KX_EXCEPTION_CONSTRUCTOR(Name)                                                                 \
    Name::Name(const wchar_t *format, ...) : Exception(VaListTag()) {                                  \
        va_list args;                                                                                  \
        va_start(args, format);                                                                        \
        FormatFrom(format, args);                                                                      \
        va_end(args);                                                                                  \
    }                                                                                                  \
    Str Name::GetTypeName() const { return Str(L"kx::" #Name); }

KX_EXCEPTION_CONSTRUCTOR(ArgumentException)
KX_EXCEPTION_CONSTRUCTOR(OutOfMemoryException)
KX_EXCEPTION_CONSTRUCTOR(UserException)

#undef KX_EXCEPTION_CONSTRUCTOR

UserException::UserException(const Exception &other) : Exception(other) {}

// ---- Str: the text of an argument in this string's form ----

struct Str::Form {
    const void *data = nullptr; // nullptr: no text at all
    int units = 0;
    std::vector<wchar_t> wideStore;
    std::vector<char> narrowStore;

    bool None() const { return data == nullptr; }
    unsigned At(int i, bool wide) const {
        return wide ? static_cast<const wchar_t *>(data)[i]
                    : static_cast<unsigned char>(static_cast<const char *>(data)[i]);
    }
};

Str::Form Str::FormOf(const wchar_t *text) const {
    Form form;
    if (!text)
        return form;
    int count = WideLength(text);
    if (IsUnicode()) {
        const wchar_t *own = Wide();
        bool inside = own && text >= own && text <= own + capacity;
        if (inside) {
            form.wideStore.assign(text, text + count);
            form.wideStore.push_back(0);
            form.data = form.wideStore.data();
        } else {
            form.data = text;
        }
        form.units = count;
        return form;
    }
    form.narrowStore = NarrowOf(text, count, codePage);
    form.units = static_cast<int>(form.narrowStore.size());
    form.narrowStore.push_back(0);
    form.data = form.narrowStore.data();
    return form;
}

Str::Form Str::FormOf(const Str &other) const {
    Form form;
    if (!other.buffer)
        return form;
    if (other.IsUnicode())
        return FormOf(other.Wide());
    if (other.codePage == codePage) {
        form.narrowStore.assign(other.Narrow(), other.Narrow() + other.length);
        form.units = other.length;
    } else {
        std::vector<wchar_t> wide = WideOf(other.Narrow(), other.length, other.codePage);
        if (IsUnicode()) {
            form.wideStore = wide;
            form.units = static_cast<int>(wide.size());
            form.wideStore.push_back(0);
            form.data = form.wideStore.data();
            return form;
        }
        form.narrowStore = NarrowOf(wide.data(), static_cast<int>(wide.size()), codePage);
        form.units = static_cast<int>(form.narrowStore.size());
    }
    form.narrowStore.push_back(0);
    form.data = form.narrowStore.data();
    return form;
}

// ---- Str: construction ----

Str::Str()
    : buffer(nullptr), length(0), minCapacity(0), capacity(0), growth(1.3), isNull(true),
      codePage(UnicodeCodePage) {}

Str::Str(MinCapacity min) : Str() { minCapacity = min.value > 0 ? min.value : 0; }

Str::Str(CodePage page) : Str() { codePage = page.value; }

Str::Str(CodePage page, MinCapacity min) : Str(min) { codePage = page.value; }

Str::Str(const Str &other)
    : Object(other), buffer(nullptr), length(0), minCapacity(0), capacity(0), growth(1.3), isNull(true),
      codePage(other.codePage) {
    SetLength(other.length, false);
    if (other.length > 0)
        std::memcpy(buffer, other.buffer, static_cast<size_t>(other.length) * UnitSize());
}

Str::Str(Str &&other) noexcept
    : Object(other), buffer(other.buffer), length(other.length), minCapacity(other.minCapacity),
      capacity(other.capacity), growth(other.growth), isNull(other.isNull), codePage(other.codePage) {
    other.buffer = nullptr;
    other.length = 0;
    other.capacity = 0;
    other.isNull = true;
}

Str::Str(const wchar_t *text) : Str() { Assign(text); }

Str::Str(const char *text, int textCodePage) : Str() { Assign(text, textCodePage); }

Str::Str(CodePage page, const wchar_t *text) : Str(page) { Assign(text); }

Str::Str(CodePage page, const char *text, int textCodePage) : Str(page) { Assign(text, textCodePage); }

Str::Str(CodePage page, const Str &other) : Str(page) {
    if (!other.buffer)
        return;
    Form form = FormOf(other);
    SetLength(form.units, false);
    if (form.units > 0)
        std::memcpy(buffer, form.data, static_cast<size_t>(form.units) * UnitSize());
}

Str::Str(const Str &source, int start, int count) : Str() {
    codePage = source.codePage;
    if (!source.buffer)
        return;
    SetLength(0, false);
    if (start < 0 || count <= 0 || start >= source.length)
        return;
    if (count > source.length - start)
        count = source.length - start;
    SetLength(count, false);
    std::memcpy(buffer, static_cast<const char *>(source.buffer) + static_cast<size_t>(start) * UnitSize(),
                static_cast<size_t>(count) * UnitSize());
}

Str::~Str() { ReleaseBuffer(); }

void Str::ReleaseBuffer() {
    std::free(buffer);
    buffer = nullptr;
    capacity = 0;
}

// ---- Str: assignment ----

Str &Str::operator=(const Str &other) { return Assign(other); }
Str &Str::operator=(const wchar_t *text) { return Assign(text); }

Str &Str::Assign(const Str &other) {
    if (buffer == other.buffer)
        return *this;
    if (other.UnitSize() != UnitSize())
        ReleaseBuffer();
    codePage = other.codePage;
    SetLength(other.length, false);
    if (other.length > 0)
        std::memcpy(buffer, other.buffer, static_cast<size_t>(other.length) * UnitSize());
    return *this;
}

Str &Str::Assign(const wchar_t *text) {
    if (!text)
        return Clear(false);
    Form form = FormOf(text);
    SetLength(form.units, false);
    if (form.units > 0)
        std::memcpy(buffer, form.data, static_cast<size_t>(form.units) * UnitSize());
    return *this;
}

Str &Str::Assign(const wchar_t *text, int start, int count) {
    if (!text)
        return Clear(false);
    int total = WideLength(text);
    if (start < 0 || count <= 0 || start >= total)
        return SetLength(0, false);
    if (count > total - start)
        count = total - start;
    std::vector<wchar_t> piece(text + start, text + start + count);
    piece.push_back(0);
    return Assign(piece.data());
}

Str &Str::Assign(const char *text, int textCodePage) {
    return Assign(text, 0, NarrowLength(text), textCodePage);
}

Str &Str::Assign(const char *text, int start, int count, int textCodePage) {
    if (!text)
        return Clear(false);
    int total = NarrowLength(text);
    if (start < 0 || count <= 0 || start >= total)
        return SetLength(0, false);
    if (count > total - start)
        count = total - start;
    if (!IsUnicode() && textCodePage == codePage) {
        std::vector<char> piece(text + start, text + start + count);
        SetLength(count, false);
        std::memcpy(buffer, piece.data(), static_cast<size_t>(count));
        return *this;
    }
    std::vector<wchar_t> wide = WideOf(text + start, count, textCodePage);
    wide.push_back(0);
    return Assign(wide.data());
}

Str &Str::Attach(wchar_t *&block) {
    if (!block)
        return *this;
    TakeBlock(block, WideLength(block), UnicodeCodePage);
    block = nullptr;
    return *this;
}

Str &Str::Attach(char *&block, int page) {
    if (!block)
        return *this;
    TakeBlock(block, NarrowLength(block), page);
    block = nullptr;
    return *this;
}

void Str::TakeBlock(void *block, int units, int newCodePage) {
    if (block != buffer)
        std::free(buffer);
    buffer = block;
    length = units;
    capacity = units;
    codePage = newCodePage;
    isNull = false;
}

// ---- Str: code pages ----

wchar_t *Str::ToUnicode() {
    ChangeCodePage(UnicodeCodePage);
    return Wide();
}

char *Str::ToAnsi() {
    if (IsUnicode())
        ChangeCodePage(CP_ACP);
    return Narrow();
}

bool Str::ChangeCodePage(int newCodePage) {
    if (newCodePage == codePage)
        return true;
    if (length == 0) {
        bool wasNull = isNull;
        ReleaseBuffer();
        codePage = newCodePage;
        if (!wasNull)
            SetLength(0, false);
        return true;
    }
    std::vector<wchar_t> wide;
    if (!IsUnicode()) {
        wide = WideOf(Narrow(), length, codePage);
        if (wide.empty())
            return false;
    }
    const wchar_t *source = IsUnicode() ? Wide() : wide.data();
    int sourceUnits = IsUnicode() ? length : static_cast<int>(wide.size());
    int units;
    size_t unitBytes;
    if (newCodePage == UnicodeCodePage) {
        units = sourceUnits;
        unitBytes = sizeof(wchar_t);
    } else {
        units = WideCharToMultiByte(static_cast<UINT>(newCodePage), 0, source, sourceUnits, nullptr, 0,
                                    nullptr, nullptr);
        unitBytes = 1;
        if (units <= 0)
            return false;
    }
    void *block = std::malloc((static_cast<size_t>(units) + 1) * unitBytes);
    if (!block)
        ThrowNoMemory();
    if (newCodePage == UnicodeCodePage) {
        std::memcpy(block, source, static_cast<size_t>(units) * sizeof(wchar_t));
        static_cast<wchar_t *>(block)[units] = 0;
    } else {
        WideCharToMultiByte(static_cast<UINT>(newCodePage), 0, source, sourceUnits, static_cast<char *>(block),
                            units, nullptr, nullptr);
        static_cast<char *>(block)[units] = 0;
    }
    TakeBlock(block, units, newCodePage);
    return true;
}

// ---- Str: resize, the one routine that owns the buffer ----

Str &Str::SetLength(int n, bool keep) {
    if (n < 0)
        n = 0;
    if (n > MaxUnits)
        ThrowNoMemory();
    int need = n > minCapacity ? n : minCapacity;
    size_t unit = static_cast<size_t>(UnitSize());
    int oldLength = buffer ? length : 0;
    if (!buffer) {
        void *block = std::malloc((static_cast<size_t>(need) + 1) * unit);
        if (!block)
            ThrowNoMemory();
        buffer = block;
        capacity = need;
        std::memset(buffer, 0, (static_cast<size_t>(need) + 1) * unit);
    } else {
        double scaled = need * growth;
        int target = scaled > MaxUnits ? MaxUnits : static_cast<int>(scaled);
        int newCapacity = capacity;
        if (need > capacity || capacity > target)
            newCapacity = target;
        if (newCapacity != capacity) {
            size_t bytes = (static_cast<size_t>(newCapacity) + 1) * unit;
            if (!keep && n > length) {
                void *block = std::malloc(bytes);
                if (!block)
                    ThrowNoMemory();
                std::free(buffer);
                buffer = block;
            } else {
                void *block = std::realloc(buffer, bytes);
                if (!block)
                    ThrowNoMemory();
                buffer = block;
            }
            capacity = newCapacity;
        }
        if (!keep)
            std::memset(buffer, 0, (static_cast<size_t>(capacity) + 1) * unit);
        else if (n > oldLength)
            std::memset(static_cast<char *>(buffer) + oldLength * unit, 0, (n - oldLength) * unit);
    }
    if (IsUnicode())
        Wide()[n] = 0;
    else
        Narrow()[n] = 0;
    length = n;
    isNull = false;
    return *this;
}

Str &Str::Truncate(int n) {
    if (n >= 0)
        SetLength(n, true);
    return *this;
}

Str &Str::Clear(bool force) {
    if (minCapacity == 0 || force) {
        ReleaseBuffer();
    } else {
        length = 0;
        SetLength(0, false);
    }
    length = 0;
    isNull = true;
    return *this;
}

// ---- Str: insertion ----

void Str::OpenGap(int position, int count) {
    int oldLength = length;
    if (count > MaxUnits - oldLength)
        ThrowNoMemory();
    SetLength(oldLength + count, true);
    size_t unit = static_cast<size_t>(UnitSize());
    char *base = static_cast<char *>(buffer);
    std::memmove(base + (position + count) * unit, base + position * unit, (oldLength - position) * unit);
}

Str &Str::Append(const wchar_t *text) { return Insert(length, text); }
Str &Str::Append(const Str &other) { return Insert(length, other); }

Str &Str::Insert(int position, const wchar_t *text) {
    Form form = FormOf(text);
    if (form.units == 0)
        return *this;
    if (position < 0)
        position = 0;
    if (position > length)
        position = length;
    OpenGap(position, form.units);
    std::memcpy(static_cast<char *>(buffer) + static_cast<size_t>(position) * UnitSize(), form.data,
                static_cast<size_t>(form.units) * UnitSize());
    return *this;
}

Str &Str::Insert(int position, const Str &other) {
    Form form = FormOf(other);
    if (form.units == 0)
        return *this;
    if (position < 0)
        position = 0;
    if (position > length)
        position = length;
    OpenGap(position, form.units);
    std::memcpy(static_cast<char *>(buffer) + static_cast<size_t>(position) * UnitSize(), form.data,
                static_cast<size_t>(form.units) * UnitSize());
    return *this;
}

// ---- Str: formatting ----

Str &Str::Format(const wchar_t *format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
    return *this;
}

// The result is built in a block of its own, so arguments that point into this
// string's text stay readable while formatting.
Str &Str::FormatV(const wchar_t *format, va_list args) {
    if (!format)
        return Clear(true);
    int targetCodePage = codePage;
    int size = WideLength(format);
    if (size < capacity)
        size = capacity;
    if (size < 1)
        size = 1;
    int written = 0;
    wchar_t *block = PrintDoubling(
        [](wchar_t *out, size_t room, const wchar_t *f, va_list a) { return _vsnwprintf(out, room, f, a); }, format,
        args, size, written);
    if (!block)
        return SetLength(0, false);
    TakeBlock(block, written, UnicodeCodePage);
    capacity = size;
    SetLength(written, true);
    if (targetCodePage != UnicodeCodePage)
        ChangeCodePage(targetCodePage);
    return *this;
}

Str &Str::FormatAnsi(const char *format, ...) {
    va_list args;
    va_start(args, format);
    FormatAnsiV(format, args);
    va_end(args);
    return *this;
}

Str &Str::FormatAnsiV(const char *format, va_list args) {
    if (!format)
        return Clear(true);
    int targetCodePage = codePage;
    int size = NarrowLength(format);
    if (size < capacity)
        size = capacity;
    if (size < 1)
        size = 1;
    int written = 0;
    char *block = PrintDoubling(
        [](char *out, size_t room, const char *f, va_list a) { return _vsnprintf(out, room, f, a); }, format, args,
        size, written);
    if (!block)
        return SetLength(0, false);
    TakeBlock(block, written, CP_ACP);
    capacity = size;
    SetLength(written, true);
    ChangeCodePage(targetCodePage);
    return *this;
}

Str &Str::FromInt(int value) { return Format(L"%d", value); }

Str operator+(const Str &left, const wchar_t *right) {
    Str result(left);
    return std::move(result.Append(right));
}

Str operator+(const Str &left, const Str &right) {
    Str result(left);
    return std::move(result.Append(right));
}

Str operator+(const Str &left, int right) {
    wchar_t digits[16];
    _snwprintf(digits, 16, L"%d", right);
    digits[15] = 0;
    return left + digits;
}

// ---- Str: comparison and search ----

namespace {

template <class Unit>
int CompareUnits(const Unit *a, const Unit *b, bool ignoreCase) {
    for (size_t i = 0;; ++i) {
        unsigned x = Fold(static_cast<typename std::make_unsigned<Unit>::type>(a[i]), ignoreCase);
        unsigned y = Fold(static_cast<typename std::make_unsigned<Unit>::type>(b[i]), ignoreCase);
        if (x != y)
            return x < y ? -1 : 1;
        if (x == 0)
            return 0;
    }
}

} // namespace

int Str::CompareTo(const Str &other, bool ignoreCase) const {
    if (!buffer)
        return other.buffer ? -1 : 0;
    if (!other.buffer)
        return 1;
    Form form = FormOf(other);
    if (IsUnicode())
        return CompareUnits(Wide(), static_cast<const wchar_t *>(form.data), ignoreCase);
    return CompareUnits(Narrow(), static_cast<const char *>(form.data), ignoreCase);
}

int Str::CompareTo(const wchar_t *text, bool ignoreCase) const {
    if (!buffer)
        return text ? -1 : 0;
    if (!text)
        return 1;
    if (IsUnicode())
        return CompareUnits(Wide(), text, ignoreCase);
    Form form = FormOf(text);
    return CompareUnits(Narrow(), static_cast<const char *>(form.data), ignoreCase);
}

bool Str::Equals(const Str &other, bool ignoreCase) const {
    if (other.isNull || isNull)
        return other.isNull && isNull;
    return CompareTo(other, ignoreCase) == 0;
}

bool Str::Equals(const wchar_t *text, bool ignoreCase) const {
    if (!text || isNull)
        return !text && isNull;
    return CompareTo(text, ignoreCase) == 0;
}

bool Str::UnitsEqual(int at, const Form &text, bool ignoreCase) const {
    bool wide = IsUnicode();
    for (int i = 0; i < text.units; ++i) {
        unsigned own = wide ? Wide()[at + i] : static_cast<unsigned char>(Narrow()[at + i]);
        if (Fold(own, ignoreCase) != Fold(text.At(i, wide), ignoreCase))
            return false;
    }
    return true;
}

bool Str::StartsWith(const wchar_t *text, bool ignoreCase) const { return StartsWith(text, 0, ignoreCase); }

bool Str::StartsWith(const wchar_t *text, int startIndex, bool ignoreCase) const {
    if (isNull || !text || startIndex < 0)
        return false;
    Form form = FormOf(text);
    if (startIndex > length - form.units)
        return false;
    return UnitsEqual(startIndex, form, ignoreCase);
}

bool Str::EndsWith(const wchar_t *text, bool ignoreCase) const {
    if (isNull || !text || !*text)
        return false;
    Form form = FormOf(text);
    if (form.units == 0 || form.units > length)
        return false;
    return UnitsEqual(length - form.units, form, ignoreCase);
}

// First match starting in [from, last], or -1.
int Str::FindForm(const Form &text, int from, int last, bool ignoreCase) const {
    if (text.units == 0)
        return -1;
    bool wide = IsUnicode();
    unsigned first = Fold(text.At(0, wide), ignoreCase);
    for (int at = from; at <= last; ++at) {
        unsigned own = wide ? Wide()[at] : static_cast<unsigned char>(Narrow()[at]);
        if (Fold(own, ignoreCase) == first && UnitsEqual(at, text, ignoreCase))
            return at;
    }
    return -1;
}

int Str::IndexOf(const wchar_t *text, bool ignoreCase) const { return IndexOf(text, 0, length, ignoreCase); }

int Str::IndexOf(const wchar_t *text, int startIndex, bool ignoreCase) const {
    return IndexOf(text, startIndex, length - startIndex, ignoreCase);
}

int Str::IndexOf(const wchar_t *text, int startIndex, int count, bool ignoreCase) const {
    if (!text || isNull)
        return -1;
    if (!*text)
        return 0;
    if (startIndex < 0 || startIndex > length)
        throw ArgumentException(L"error for startIndex < 0.");
    Form form = FormOf(text);
    if (form.units == 0 || length < form.units || length - form.units < startIndex || count < form.units)
        return -1;
    long long windowLast = static_cast<long long>(startIndex) + count - form.units;
    int last = length - form.units;
    if (windowLast < last)
        last = static_cast<int>(windowLast);
    return FindForm(form, startIndex, last, ignoreCase);
}

int Str::LastIndexOf(const wchar_t *text, bool ignoreCase) const { return LastIndexOf(text, length, ignoreCase); }

int Str::LastIndexOf(const wchar_t *text, int endLength, bool ignoreCase) const {
    if (!text || isNull)
        return -1;
    if (!*text)
        return length;
    if (endLength < 0 || endLength > length)
        throw ArgumentException(L"error for endLength > the length of buffer.");
    Form form = FormOf(text);
    if (form.units == 0 || form.units > length)
        return -1;
    for (int at = endLength - form.units; at >= 0; --at)
        if (UnitsEqual(at, form, ignoreCase))
            return at;
    return -1;
}

// ---- Str: transformation ----

Str Str::Substring(int start) const { return Str(*this, start, length - start); }

Str Str::Substring(int start, int end) const { return Str(*this, start, end - start); }

Str &Str::Replace(const wchar_t *oldText, const wchar_t *newText, bool ignoreCase) {
    return Replace(oldText, newText, 0, ignoreCase);
}

Str &Str::Replace(const wchar_t *oldText, const wchar_t *newText, int startIndex, bool ignoreCase) {
    if (!oldText || !newText || isNull || !*oldText)
        return *this;
    Form oldForm = FormOf(oldText);
    Form newForm = FormOf(newText);
    ReplaceForm(oldForm, newForm, startIndex < 0 ? 0 : startIndex, ignoreCase);
    return *this;
}

void Str::ReplaceForm(const Form &oldText, const Form &newText, int startIndex, bool ignoreCase) {
    if (oldText.units == 0 || startIndex > length - oldText.units)
        return;
    size_t unit = static_cast<size_t>(UnitSize());
    char *base = static_cast<char *>(buffer);
    const char *newUnits = static_cast<const char *>(newText.data);
    int oldUnits = oldText.units;
    int insertUnits = newText.units;

    if (insertUnits <= oldUnits) {
        // One forward pass: matches are overwritten, the rest moves down.
        int read = startIndex, write = startIndex, matches = 0;
        int at;
        while ((at = FindForm(oldText, read, length - oldUnits, ignoreCase)) >= 0) {
            std::memmove(base + write * unit, base + read * unit, (at - read) * unit);
            write += at - read;
            std::memcpy(base + write * unit, newUnits, insertUnits * unit);
            write += insertUnits;
            read = at + oldUnits;
            ++matches;
            if (read > length - oldUnits)
                break;
        }
        if (matches == 0)
            return;
        std::memmove(base + write * unit, base + read * unit, (length - read) * unit);
        SetLength(length - (oldUnits - insertUnits) * matches, true);
        return;
    }

    std::vector<int> found;
    for (int at = FindForm(oldText, startIndex, length - oldUnits, ignoreCase); at >= 0;) {
        found.push_back(at);
        int next = at + oldUnits;
        at = next > length - oldUnits ? -1 : FindForm(oldText, next, length - oldUnits, ignoreCase);
    }
    if (found.empty())
        return;
    long long difference = insertUnits - oldUnits;
    long long grownLength = length + difference * static_cast<long long>(found.size());
    if (grownLength > MaxUnits)
        ThrowNoMemory();
    int oldLength = length;
    int newLength = static_cast<int>(grownLength);

    if (newLength > capacity) {
        // One new block: the old text is copied over with each match substituted.
        double reserved = difference * static_cast<double>(found.size()) * growth + oldLength;
        int reserve = reserved > MaxUnits ? MaxUnits : static_cast<int>(reserved);
        if (reserve < newLength)
            reserve = newLength;
        char *block = static_cast<char *>(std::malloc((static_cast<size_t>(reserve) + 1) * unit));
        if (!block)
            ThrowNoMemory();
        int read = 0, write = 0;
        for (int at : found) {
            std::memcpy(block + write * unit, base + read * unit, (at - read) * unit);
            write += at - read;
            std::memcpy(block + write * unit, newUnits, insertUnits * unit);
            write += insertUnits;
            read = at + oldUnits;
        }
        std::memcpy(block + write * unit, base + read * unit, (oldLength - read) * unit);
        std::memset(block + static_cast<size_t>(newLength) * unit, 0, (reserve - newLength + 1) * unit);
        std::free(buffer);
        buffer = block;
        capacity = reserve;
        length = newLength;
        return;
    }

    // Enough room: expand in place from the back.
    SetLength(newLength, true);
    base = static_cast<char *>(buffer);
    int readEnd = oldLength;
    int writeEnd = newLength;
    for (size_t i = found.size(); i-- > 0;) {
        int at = found[i];
        int tail = readEnd - (at + oldUnits);
        writeEnd -= tail;
        std::memmove(base + writeEnd * unit, base + (at + oldUnits) * unit, tail * unit);
        writeEnd -= insertUnits;
        std::memcpy(base + writeEnd * unit, newUnits, insertUnits * unit);
        readEnd = at;
    }
}

int Str::Split(const wchar_t *separator, Str **pieces, bool ignoreCase) const {
    return Split(separator, pieces, 0, ignoreCase);
}

int Str::Split(const wchar_t *separator, Str **pieces, int maxCount, bool ignoreCase) const {
    if (!separator || !*separator || length == 0 || !pieces)
        return 0;
    Form form = FormOf(separator);
    if (form.units == 0)
        return 0;
    std::vector<int> found;
    int last = length - form.units;
    for (int at = last >= 0 ? FindForm(form, 0, last, ignoreCase) : -1; at >= 0;) {
        found.push_back(at);
        if (maxCount > 0 && static_cast<int>(found.size()) >= maxCount)
            break;
        int next = at + form.units;
        at = next > last ? -1 : FindForm(form, next, last, ignoreCase);
    }
    if (found.empty()) {
        Str *whole = new Str[2];
        whole[0].Assign(*this);
        *pieces = whole;
        return 1;
    }
    int afterLast = found.back() + form.units;
    int count = static_cast<int>(found.size()) + (afterLast < length ? 1 : 0);
    Str *result = new Str[count + 1];
    int begin = 0;
    for (size_t i = 0; i < found.size(); ++i) {
        result[i].Assign(Str(*this, begin, found[i] - begin));
        begin = found[i] + form.units;
    }
    if (afterLast < length)
        result[count - 1].Assign(Str(*this, afterLast, length - afterLast));
    *pieces = result;
    return count;
}

Str &Str::TrimStart(const wchar_t *text) {
    if (!text || !*text || length == 0)
        return *this;
    Form form = FormOf(text);
    if (form.units == 0)
        return *this;
    int start = 0;
    while (start <= length - form.units && UnitsEqual(start, form, false))
        start += form.units;
    if (start == 0)
        return *this;
    size_t unit = static_cast<size_t>(UnitSize());
    std::memmove(buffer, static_cast<char *>(buffer) + start * unit, (length - start) * unit);
    return SetLength(length - start, true);
}

Str &Str::TrimEnd(const wchar_t *text) {
    if (!text || !*text || length == 0)
        return *this;
    Form form = FormOf(text);
    if (form.units == 0)
        return *this;
    int end = length;
    while (end >= form.units && UnitsEqual(end - form.units, form, false))
        end -= form.units;
    if (end == length)
        return *this;
    return SetLength(end, true);
}

Str &Str::Trim() { return TrimEnd(L" ").TrimStart(L" "); }

int Str::ToInt(int base) const {
    if (length == 0)
        return 0;
    if (IsUnicode())
        return static_cast<int>(wcstol(Wide(), nullptr, base));
    return static_cast<int>(strtol(Narrow(), nullptr, base));
}

Str Str::ToString() const { return Str(*this); }
Str Str::GetTypeName() const { return Str(L"kx::Str"); }

} // namespace kx
