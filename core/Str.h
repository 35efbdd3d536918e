// The root of the library's class tree, the exceptions the library throws, and
// kx::Str, the one string type: UTF-16 by default, or bytes in a code page.
#pragma once

#include "core/Platform.h"

#include <cstdarg>

namespace kx {

class Str;

class Object {
public:
    Object();
    Object(const Object &other);
    Object &operator=(const Object &other);

    virtual ~Object();
    // Type name followed by "@" and the object's address in decimal.
    virtual Str ToString() const;
    // Identity: true only for this very object.
    virtual bool Equals(const Object &other) const;
    virtual void Dispose();
    virtual bool IsDisposed() const;
    virtual Str GetTypeName() const;

private:
    bool disposed;
};

// Marks the constructor that takes an already started argument list, so a
// variadic call can never land on it by accident.
struct VaListTag {};

class Exception : public Object {
public:
    // printf-style wide format ("%s" is a wide text).
    explicit Exception(const wchar_t *format, ...);
    Exception(const Exception &other);
    Exception &operator=(const Exception &other);
    ~Exception() override;

    // The auxiliary text, which no constructor sets.
    Str ToString() const override;
    Str GetTypeName() const override;

    // Never nullptr: a message that could not be kept reads as empty.
    const wchar_t *GetMessage() const { return message ? message : L""; }
    const wchar_t *GetAuxText() const { return auxText ? auxText : L""; }

protected:
    // For the derived classes, which format their own argument lists.
    explicit Exception(VaListTag);
    void FormatFrom(const wchar_t *format, va_list args);

private:
    wchar_t *message;
    wchar_t *auxText;
};

class ArgumentException : public Exception {
public:
    explicit ArgumentException(const wchar_t *format, ...);
    Str GetTypeName() const override;
};

class OutOfMemoryException : public Exception {
public:
    explicit OutOfMemoryException(const wchar_t *format, ...);
    Str GetTypeName() const override;
};

class UserException : public Exception {
public:
    explicit UserException(const wchar_t *format, ...);
    // Carries another exception's texts over, as the toolkit rethrows them.
    explicit UserException(const Exception &other);
    Str GetTypeName() const override;
};

// Tags that tell the two one-integer constructors of Str apart.
struct MinCapacity {
    explicit MinCapacity(int units) : value(units) {}
    int value;
};

struct CodePage {
    explicit CodePage(int page) : value(page) {}
    int value;
};

class Str : public Object {
public:
    static const int UnicodeCodePage = 1200;

    Str();
    explicit Str(MinCapacity minCapacity);
    explicit Str(CodePage codePage);
    Str(CodePage codePage, MinCapacity minCapacity);
    // The copy is never null: a copy of a null string is empty.
    Str(const Str &other);
    // Moving hands the state over exactly, null included.
    Str(Str &&other) noexcept;
    Str(const wchar_t *text);
    Str(const char *text, int textCodePage);
    Str(CodePage codePage, const wchar_t *text);
    Str(CodePage codePage, const char *text, int textCodePage);
    Str(CodePage codePage, const Str &other);
    // count units from start, never past the source's end.
    Str(const Str &source, int start, int count);
    ~Str() override;

    Str &operator=(const Str &other);
    Str &operator=(const wchar_t *text);

    Str &Assign(const Str &other);
    Str &Assign(const wchar_t *text);
    Str &Assign(const wchar_t *text, int start, int count);
    Str &Assign(const char *text, int textCodePage);
    Str &Assign(const char *text, int start, int count, int textCodePage);
    // Takes ownership of a zero-terminated block allocated with malloc; the
    // caller's pointer is set to nullptr.
    Str &Attach(wchar_t *&block);
    Str &Attach(char *&block, int codePage);

    int GetLength() const { return length; }
    int GetCapacity() const { return capacity; }
    int GetMinCapacity() const { return minCapacity; }
    // The raw block: wide when IsUnicode, bytes of the code page otherwise.
    wchar_t *GetBuffer() const { return static_cast<wchar_t *>(buffer); }
    char *GetBufferA() const { return static_cast<char *>(buffer); }
    int GetCodePage() const { return codePage; }
    bool IsNull() const { return isNull; }
    bool IsUnicode() const { return codePage == UnicodeCodePage; }
    wchar_t *ToUnicode();
    char *ToAnsi();
    bool ChangeCodePage(int newCodePage);

    Str &SetLength(int n, bool keep = false);
    Str &Truncate(int n);
    Str &Clear(bool force = false);
    Str &Append(const wchar_t *text);
    Str &Append(const Str &other);
    Str &Insert(int position, const wchar_t *text);
    Str &Insert(int position, const Str &other);
    Str &Format(const wchar_t *format, ...);
    Str &FormatV(const wchar_t *format, va_list args);
    Str &FormatAnsi(const char *format, ...);
    Str &FormatAnsiV(const char *format, va_list args);
    Str &FromInt(int value);

    int CompareTo(const Str &other, bool ignoreCase = false) const;
    int CompareTo(const wchar_t *text, bool ignoreCase = false) const;
    using Object::Equals;
    bool Equals(const Str &other, bool ignoreCase = false) const;
    bool Equals(const wchar_t *text, bool ignoreCase = false) const;
    bool StartsWith(const wchar_t *text, bool ignoreCase = false) const;
    bool StartsWith(const wchar_t *text, int startIndex, bool ignoreCase = false) const;
    bool EndsWith(const wchar_t *text, bool ignoreCase = false) const;
    int IndexOf(const wchar_t *text, bool ignoreCase = false) const;
    int IndexOf(const wchar_t *text, int startIndex, bool ignoreCase = false) const;
    int IndexOf(const wchar_t *text, int startIndex, int count, bool ignoreCase = false) const;
    int LastIndexOf(const wchar_t *text, bool ignoreCase = false) const;
    int LastIndexOf(const wchar_t *text, int endLength, bool ignoreCase = false) const;

    Str Substring(int start) const;
    Str Substring(int start, int end) const;
    Str &Replace(const wchar_t *oldText, const wchar_t *newText, bool ignoreCase = false);
    Str &Replace(const wchar_t *oldText, const wchar_t *newText, int startIndex,
                 bool ignoreCase = false);
    // Hands out a new[] array of the pieces that ends with a null string; the
    // caller releases it with delete[].
    int Split(const wchar_t *separator, Str **pieces, bool ignoreCase = false) const;
    int Split(const wchar_t *separator, Str **pieces, int maxCount, bool ignoreCase = false) const;
    Str &TrimStart(const wchar_t *text);
    Str &TrimEnd(const wchar_t *text);
    Str &Trim();
    int ToInt(int base = 10) const;

    Str ToString() const override;
    Str GetTypeName() const override;

private:
    int UnitSize() const { return IsUnicode() ? 2 : 1; }
    wchar_t *Wide() const { return static_cast<wchar_t *>(buffer); }
    char *Narrow() const { return static_cast<char *>(buffer); }
    void InsertWide(int position, const wchar_t *text, int count);
    void InsertNarrow(int position, const char *text, int count, int textCodePage);
    void OpenGap(int position, int count);
    void ReleaseBuffer();
    void TakeBlock(void *block, int units, int newCodePage);
    // The text in this string's form, for comparing and searching.
    struct Form;
    Form FormOf(const wchar_t *text) const;
    Form FormOf(const Str &other) const;
    int FindForm(const Form &text, int from, int last, bool ignoreCase) const;
    bool UnitsEqual(int at, const Form &text, bool ignoreCase) const;
    void ReplaceForm(const Form &oldText, const Form &newText, int startIndex, bool ignoreCase);

    void *buffer;
    int length;
    int minCapacity;
    int capacity;
    double growth;
    bool isNull;
    int codePage;
};

Str operator+(const Str &left, const wchar_t *right);
Str operator+(const Str &left, const Str &right);
Str operator+(const Str &left, int right);

// The equality and ordering the containers use (case kept).
inline bool operator==(const Str &left, const Str &right) { return left.CompareTo(right) == 0; }
inline bool operator!=(const Str &left, const Str &right) { return left.CompareTo(right) != 0; }
inline bool operator<(const Str &left, const Str &right) { return left.CompareTo(right) < 0; }

} // namespace kx
