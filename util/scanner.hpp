#pragma once
// The tokenizer of the program's text formats. It reads a string in memory or a file
// opened through the file handlers, skips blanks and comments (/* ... */ and // ...),
// and recognises registered operators and keywords, names, strings, character
// literals, integers (decimal, hexadecimal, base 2) and floats. Errors are reported
// with file name and line (the first one after a start is printed, all are counted);
// the scanner never stops on an error. Parsers drive it with Scan and the small
// expecting operations, read the current token's fields directly and check Errors.
//
// Needs the string pool running: names, strings and keyword texts are pooled, so equal
// texts have equal pointers.

#include "base/types.hpp"
#include "base/arrays.hpp"

class sFile;

// Token kinds. Every single-character operator of "+-*/%^~,.;:!?=<>()[]{}&|" is its own
// character code; keywords and operators registered with AddToken carry their own kind.
enum sScannerTokenKind : sInt
{
  sTOK_END = 0,
  sTOK_ERROR = 1,   // illegal or unfinished token
  sTOK_INT = 2,
  sTOK_FLOAT = 3,
  sTOK_NAME = 4,
  sTOK_STRING = 5,
  sTOK_CHAR = 6,
  sTOK_SHIFTL = 16,    // <<
  sTOK_SHIFTR = 17,    // >>
  sTOK_EQUAL = 18,     // ==
  sTOK_NOTEQUAL = 19,  // !=
  sTOK_LE = 20,        // <=
  sTOK_GE = 21,        // >=
  sTOK_ELLIPSES = 22,  // ..
  sTOK_SCOPE = 23,     // ::
};

struct sScannerToken
{
  sInt Kind;
  sInt Length;
  const sChar *Text;   // pooled
};

// An input source: the read position in 0-terminated text, the current line and the
// file name (null for a string).
class sScannerSource
{
public:
  const sChar *Pos = nullptr;
  sInt Line = 1;
  const sChar *Filename = nullptr;

  virtual ~sScannerSource() = default;
  // Tops up the text before each token; 0 when reading failed (the text ends there).
  virtual sBool Refill() { return 1; }
};

// Reads the caller's text in place: it must stay valid and unchanged while scanned.
class sScannerStringSource : public sScannerSource
{
public:
  const sChar *Text;
  explicit sScannerStringSource(const sChar *text);
};

// Reads a file: UTF-16 of either byte order (by byte-order mark), UTF-8 (by its mark, as
// text files with characters above 8 bits are saved) or 8-bit text, every byte the
// character of the same value. The whole file is decoded when it is opened, so a token
// or comment may be of any length. A 0 character ends the text.
class sScannerFileSource : public sScannerSource
{
public:
  enum Encoding : sInt { UTF16LE = 0, BYTES = 1, UTF16BE = 2, UTF8 = 3 };

  sChar *Text = nullptr;     // decoded characters and a terminating 0 (owned)
  sDInt Length = 0;          // the characters decoded: a 0 before Length is a 0 of the file
  sInt Encode = BYTES;

  sScannerFileSource() = default;
  ~sScannerFileSource() override;
  // Opens and decodes the file; 0 when it cannot be opened, holds fewer than two bytes,
  // or memory for its text cannot be had.
  sBool Open(const sChar *name);
};

class sScanner
{
public:
  static constexpr sInt ScratchSize = 32768;   // longest name or string: ScratchSize - 1
  static constexpr sInt LineBufferSize = 1024;

  sChar *Scratch;                               // names and strings are collected here
  sDynamicArray<sScannerToken> Operators;       // sorted longest first at each start
  sDynamicArray<sScannerToken> Keywords;        // registration order
  sScannerSource *Source = nullptr;

  // the current token
  sInt Token = 0;
  sInt ValI = 0;
  sF32 ValF = 0;
  const sChar *Name;     // pooled; kept until the next name
  const sChar *String;   // pooled; kept until the next string
  sFixedString NumberText;   // the last number as written (254 characters at most)

  // where the current token starts
  sInt TokenLine = 1;
  const sChar *TokenFile = nullptr;
  const sChar *TokenPos = nullptr;

  sChar LineBuffer[LineBufferSize];
  sInt Errors = 0;
  sU32 Flags = 2;   // bit 1: comments are recognised

  sScanner();
  ~sScanner();
  sScanner(const sScanner &) = delete;
  sScanner &operator=(const sScanner &) = delete;

  // Reset, forget the registered tokens (storage stays), options 2.
  void Init();
  // Releases the source and clears the current token and the error count; registered
  // tokens stay.
  void Reset();
  // Registers a keyword (an identifier) or an operator (anything else); not empty.
  void AddToken(const sChar *text, sInt kind);
  // ">>" "<<" "==" "!=" "<=" ">=" ".." "::" and each of "+-*/%^~,.;:!?=<>()[]{}&|".
  void AddDefaultTokens();

  // Starts on the caller's text (kept in place) and scans the first token.
  void StartString(const sChar *text);
  // Starts on a file opened through the file handlers; 1 on success. On failure the
  // error "could not load file %q" is reported, the input is empty and 0 returned.
  sBool StartFile(const sChar *name);

  // Reads the next token and returns its kind.
  sInt Scan();

  // When the current token has the kind: scans on and returns 1; else 0.
  sBool IfToken(sInt kind);
  // When the current token is this pooled name: scans on and returns 1; else 0.
  sBool IfName(const sChar *pooledName);
  // A string token: out := its pooled text, scan on, 1. Otherwise out := the pooled empty
  // string, "string expected", the token is skipped, 0.
  sBool ScanString(const sChar *&out);
  // An optional '-' and an integer or character literal; "integer expected" and 0 else.
  sInt ScanInt();
  // An optional '-' and an integer or float; "float expected" and 0.0 (signed) else.
  sF32 ScanFloat();

  // Reports an error with the current source and line (the text is taken as it is).
  void Error(const sChar *message);
  template <class... A> void ErrorF(const sChar *format, const A &...args)
  {
    sSPrintF(sStringRef(Scratch, ScratchSize), format, args...);
    PrintError(Scratch);
  }
  // Prints the message with the source's file name and line while no error was counted
  // yet, and counts the error.
  void PrintError(const sChar *message);

  // Sorts the operator table by length, longest first.
  void SortTokens();

private:
  void SetSource(sScannerSource *source);
  sBool ScanNumber(const sChar *&p);
};
