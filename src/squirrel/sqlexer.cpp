// sqlexer.cpp: the tokenizer. Reads characters through the SQLEXREADFUNC callback one at a
// time; errors are thrown as SQCompileError with the current line and column.
#include "sqlexer.h"

#include <cstdlib>
#include <cstring>

namespace {
struct Keyword {
  const char *name;
  int tok;
};
const Keyword kKeywords[] = {
    {"while", TK_WHILE},       {"do", TK_DO},           {"if", TK_IF},
    {"else", TK_ELSE},         {"break", TK_BREAK},     {"continue", TK_CONTINUE},
    {"return", TK_RETURN},     {"null", TK_NULL},       {"function", TK_FUNCTION},
    {"local", TK_LOCAL},       {"for", TK_FOR},         {"foreach", TK_FOREACH},
    {"in", TK_IN},             {"typeof", TK_TYPEOF},   {"base", TK_BASE},
    {"delete", TK_DELETE},     {"try", TK_TRY},         {"catch", TK_CATCH},
    {"throw", TK_THROW},       {"clone", TK_CLONE},     {"yield", TK_YIELD},
    {"resume", TK_RESUME},     {"switch", TK_SWITCH},   {"case", TK_CASE},
    {"default", TK_DEFAULT},   {"this", TK_THIS},       {"class", TK_CLASS},
    {"extends", TK_EXTENDS},   {"constructor", TK_CONSTRUCTOR},
    {"instanceof", TK_INSTANCEOF}, {"true", TK_TRUE},   {"false", TK_FALSE},
    {"static", TK_STATIC},     {"enum", TK_ENUM},       {"const", TK_CONST},
    {"__LINE__", TK___LINE__}, {"__FILE__", TK___FILE__}, {"rawcall", TK_RAWCALL},
};

bool is_ident_start(int c) { return isalpha(c) || c == '_'; }
bool is_ident_char(int c) { return isalnum(c) || c == '_'; }
}  // namespace

void SQLexer::Init(SQVM *v, SQLEXREADFUNC rf, SQUserPointer up) {
  _vm = v;
  _read = rf;
  _up = up;
  _line = 1;
  _col = 0;
  Next();
}

void SQLexer::Next() {
  SQInteger c = _read(_up);
  _cur = (int)(c & 0xFF);
  if (c == 0) _cur = 0;
  _col++;
}

void SQLexer::Error(const char *msg) { throw SQCompileError{msg, _line, _col}; }

const char *SQLexer::TokenText(int tok) {
  switch (tok) {
    case TK_IDENTIFIER: return "IDENTIFIER";
    case TK_STRING_LITERAL: return "STRING_LITERAL";
    case TK_INTEGER: return "INTEGER";
    case TK_FLOAT: return "FLOAT";
    case TK_EOF: return "end of file";
    case TK_EQ: return "==";
    case TK_NE: return "!=";
    case TK_LE: return "<=";
    case TK_GE: return ">=";
    case TK_AND: return "&&";
    case TK_OR: return "||";
    case TK_NEWSLOT: return "<-";
    case TK_PLUSEQ: return "+=";
    case TK_MINUSEQ: return "-=";
    case TK_MULEQ: return "*=";
    case TK_DIVEQ: return "/=";
    case TK_MODEQ: return "%=";
    case TK_SHIFTL: return "<<";
    case TK_SHIFTR: return ">>";
    case TK_USHIFTR: return ">>>";
    case TK_DOUBLE_COLON: return "::";
    case TK_PLUSPLUS: return "++";
    case TK_MINUSMINUS: return "--";
    case TK_3WAYSCMP: return "<=>";
    case TK_VARPARAMS: return "...";
    case TK_ATTR_OPEN: return "</";
    case TK_ATTR_CLOSE: return "/>";
    default: break;
  }
  for (const Keyword &k : kKeywords)
    if (k.tok == tok) return k.name;
  return nullptr;
}

void SQLexer::SkipBlockComment() {
  for (;;) {
    if (_cur == 0) Error("missing \"*/\" in comment");
    if (_cur == '*') {
      Next();
      if (_cur == '/') {
        Next();
        return;
      }
      continue;
    }
    if (_cur == '\n') {
      _line++;
      _col = 0;
    }
    Next();
  }
}

int SQLexer::Lex() {
  _prevtoken = _token;
  _prevline = _line;
  _newlinebefore = false;
  for (;;) {
    _tokline = _line;
    _tokcol = _col;
    switch (_cur) {
      case 0:
        return _token = TK_EOF;
      case '\n':
        _line++;
        _col = 0;
        _newlinebefore = true;
        Next();
        continue;
      case ' ': case '\t': case '\r': case '\f': case '\v':
        Next();
        continue;
      case '#':
        while (_cur != '\n' && _cur != 0) Next();
        continue;
      case '/':
        Next();
        if (_cur == '*') {
          Next();
          SkipBlockComment();
          continue;
        }
        if (_cur == '/') {
          while (_cur != '\n' && _cur != 0) Next();
          continue;
        }
        if (_cur == '=') { Next(); return _token = TK_DIVEQ; }
        if (_cur == '>') { Next(); return _token = TK_ATTR_CLOSE; }
        return _token = '/';
      case '=':
        Next();
        if (_cur == '=') { Next(); return _token = TK_EQ; }
        return _token = '=';
      case '<':
        Next();
        if (_cur == '=') {
          Next();
          if (_cur == '>') { Next(); return _token = TK_3WAYSCMP; }
          return _token = TK_LE;
        }
        if (_cur == '-') { Next(); return _token = TK_NEWSLOT; }
        if (_cur == '<') { Next(); return _token = TK_SHIFTL; }
        if (_cur == '/') { Next(); return _token = TK_ATTR_OPEN; }
        return _token = '<';
      case '>':
        Next();
        if (_cur == '=') { Next(); return _token = TK_GE; }
        if (_cur == '>') {
          Next();
          if (_cur == '>') { Next(); return _token = TK_USHIFTR; }
          return _token = TK_SHIFTR;
        }
        return _token = '>';
      case '!':
        Next();
        if (_cur == '=') { Next(); return _token = TK_NE; }
        return _token = '!';
      case '@':
        Next();
        if (_cur == '"') return ReadString('"', true);
        return _token = '@';
      case '"':
      case '\'':
        return ReadString(_cur, false);
      case '{': case '}': case '(': case ')': case '[': case ']': case ';': case ',':
      case '?': case '^': case '~': {
        int t = _cur;
        Next();
        return _token = t;
      }
      case '.':
        Next();
        if (_cur != '.') return _token = '.';
        Next();
        if (_cur != '.') Error("invalid token '..'");
        Next();
        return _token = TK_VARPARAMS;
      case '&':
        Next();
        if (_cur == '&') { Next(); return _token = TK_AND; }
        return _token = '&';
      case '|':
        Next();
        if (_cur == '|') { Next(); return _token = TK_OR; }
        return _token = '|';
      case ':':
        Next();
        if (_cur == ':') { Next(); return _token = TK_DOUBLE_COLON; }
        return _token = ':';
      case '*':
        Next();
        if (_cur == '=') { Next(); return _token = TK_MULEQ; }
        return _token = '*';
      case '%':
        Next();
        if (_cur == '=') { Next(); return _token = TK_MODEQ; }
        return _token = '%';
      case '-':
        Next();
        if (_cur == '=') { Next(); return _token = TK_MINUSEQ; }
        if (_cur == '-') { Next(); return _token = TK_MINUSMINUS; }
        return _token = '-';
      case '+':
        Next();
        if (_cur == '=') { Next(); return _token = TK_PLUSEQ; }
        if (_cur == '+') { Next(); return _token = TK_PLUSPLUS; }
        return _token = '+';
      default:
        if (isdigit(_cur)) return _token = ReadNumber();
        if (is_ident_start(_cur)) return _token = ReadIdentifier();
        if (iscntrl(_cur)) Error("unexpected character(control)");
        {
          int t = _cur;
          Next();
          return _token = t;
        }
    }
  }
}

int SQLexer::ReadIdentifier() {
  _buf.clear();
  while (is_ident_char(_cur)) {
    _buf.push_back((char)_cur);
    Next();
  }
  for (const Keyword &k : kKeywords)
    if (_buf == k.name) return k.tok;
  return TK_IDENTIFIER;
}

static int hex_value(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

static void append_utf8(std::string &s, unsigned cp) {
  if (cp < 0x80) {
    s.push_back((char)cp);
  } else if (cp < 0x800) {
    s.push_back((char)(0xC0 | (cp >> 6)));
    s.push_back((char)(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    s.push_back((char)(0xE0 | (cp >> 12)));
    s.push_back((char)(0x80 | ((cp >> 6) & 0x3F)));
    s.push_back((char)(0x80 | (cp & 0x3F)));
  } else {
    s.push_back((char)(0xF0 | (cp >> 18)));
    s.push_back((char)(0x80 | ((cp >> 12) & 0x3F)));
    s.push_back((char)(0x80 | ((cp >> 6) & 0x3F)));
    s.push_back((char)(0x80 | (cp & 0x3F)));
  }
}

int SQLexer::ReadString(int delim, bool verbatim) {
  _buf.clear();
  Next();  // opening quote
  for (;;) {
    if (_cur == 0) Error("unfinished string");
    if (_cur == delim) {
      Next();
      if (verbatim && _cur == delim) {  // "" inside a verbatim string is a quote
        _buf.push_back((char)delim);
        Next();
        continue;
      }
      break;
    }
    if (_cur == '\n') {
      if (!verbatim) Error("newline in a constant");
      _line++;
      _col = 0;
      _buf.push_back('\n');
      Next();
      continue;
    }
    if (_cur == '\\' && !verbatim) {
      Next();
      switch (_cur) {
        case 'x': {
          Next();
          if (hex_value(_cur) < 0) Error("hexadecimal number expected");
          unsigned v = 0;
          for (int n = 0; n < 2 && hex_value(_cur) >= 0; n++) {
            v = v * 16 + (unsigned)hex_value(_cur);
            Next();
          }
          _buf.push_back((char)v);
          continue;
        }
        case 'u':
        case 'U': {
          int maxdigits = _cur == 'u' ? 4 : 8;
          Next();
          if (hex_value(_cur) < 0) Error("hexadecimal number expected");
          unsigned v = 0;
          for (int n = 0; n < maxdigits && hex_value(_cur) >= 0; n++) {
            v = v * 16 + (unsigned)hex_value(_cur);
            Next();
          }
          append_utf8(_buf, v);
          continue;
        }
        case 't': _buf.push_back('\t'); break;
        case 'a': _buf.push_back('\a'); break;
        case 'b': _buf.push_back('\b'); break;
        case 'n': _buf.push_back('\n'); break;
        case 'r': _buf.push_back('\r'); break;
        case 'v': _buf.push_back('\v'); break;
        case 'f': _buf.push_back('\f'); break;
        case '0': _buf.push_back('\0'); break;
        case '\\': _buf.push_back('\\'); break;
        case '"': _buf.push_back('"'); break;
        case '\'': _buf.push_back('\''); break;
        default: Error("unrecognised escaper char");
      }
      Next();
      continue;
    }
    _buf.push_back((char)_cur);
    Next();
  }
  if (delim == '\'') {
    if (_buf.empty()) Error("empty constant");
    if (_buf.size() > 1) Error("constant too long");
    _ival = (SQInteger)(signed char)_buf[0];
    return _token = TK_INTEGER;
  }
  return _token = TK_STRING_LITERAL;
}

int SQLexer::ReadNumber() {
  std::string s;
  if (_cur == '0') {
    Next();
    if (_cur == 'x' || _cur == 'X') {
      Next();
      if (hex_value(_cur) < 0) Error("expected hex digits");  // "0x" alone
      uint32_t v = 0;
      int n = 0;
      while (hex_value(_cur) >= 0) {
        if (++n > 8) Error("too many digits for an Hex number");
        v = v * 16 + (uint32_t)hex_value(_cur);
        Next();
      }
      _ival = (SQInteger)v;
      return TK_INTEGER;
    }
    if (isdigit(_cur)) {
      uint32_t v = 0;
      int n = 0;
      while (isdigit(_cur)) {
        if (_cur > '7') Error("invalid octal number");
        if (++n > 11) Error("too many digits for an Octal number");
        v = v * 8 + (uint32_t)(_cur - '0');
        Next();
      }
      _ival = (SQInteger)v;
      return TK_INTEGER;
    }
    s.push_back('0');
  }
  bool isfloat = false;
  while (isdigit(_cur)) {
    s.push_back((char)_cur);
    Next();
  }
  if (_cur == '.') {
    isfloat = true;
    s.push_back('.');
    Next();
    while (isdigit(_cur)) {
      s.push_back((char)_cur);
      Next();
    }
  }
  if (_cur == 'e' || _cur == 'E') {
    isfloat = true;
    s.push_back('e');
    Next();
    if (_cur == '+' || _cur == '-') {
      s.push_back((char)_cur);
      Next();
    }
    if (!isdigit(_cur)) Error("exponent expected");
    while (isdigit(_cur)) {
      s.push_back((char)_cur);
      Next();
    }
  }
  if (isfloat) {
    _fval = (SQFloat)strtod(s.c_str(), nullptr);
    return TK_FLOAT;
  }
  // Decimal constants wrap to 32 bits like a C conversion from a wider integer.
  _ival = (SQInteger)(uint32_t)strtoull(s.c_str(), nullptr, 10);
  return TK_INTEGER;
}
