// sqlexer.h: turns source characters into tokens for the compiler.
// Single characters stand for themselves; longer tokens use the TK_ values above 255.
#pragma once
#include <string>

#include "sqstate.h"

enum SQToken {
  TK_IDENTIFIER = 258, TK_STRING_LITERAL, TK_INTEGER, TK_FLOAT,
  TK_BASE, TK_DELETE, TK_EQ, TK_NE, TK_LE, TK_GE, TK_SWITCH, TK_ARROW, TK_AND, TK_OR, TK_IF,
  TK_ELSE, TK_WHILE, TK_BREAK, TK_FOR, TK_DO, TK_NULL, TK_FOREACH, TK_IN, TK_NEWSLOT,
  TK_MODULO, TK_LOCAL, TK_CLONE, TK_FUNCTION, TK_RETURN, TK_TYPEOF, TK_UMINUS, TK_PLUSEQ,
  TK_MINUSEQ, TK_CONTINUE, TK_YIELD, TK_TRY, TK_CATCH, TK_THROW, TK_SHIFTL, TK_SHIFTR,
  TK_RESUME, TK_DOUBLE_COLON, TK_CASE, TK_DEFAULT, TK_THIS, TK_PLUSPLUS, TK_MINUSMINUS,
  TK_3WAYSCMP, TK_USHIFTR, TK_CLASS, TK_EXTENDS, TK_CONSTRUCTOR, TK_INSTANCEOF, TK_VARPARAMS,
  TK___LINE__, TK___FILE__, TK_TRUE, TK_FALSE, TK_MULEQ, TK_DIVEQ, TK_MODEQ, TK_ATTR_OPEN,
  TK_ATTR_CLOSE, TK_STATIC, TK_ENUM, TK_CONST, TK_RAWCALL, TK_EOF = 0
};

struct SQLexer {
  SQVM *_vm = nullptr;
  SQLEXREADFUNC _read = nullptr;
  SQUserPointer _up = nullptr;
  int _cur = 0;          // current character (0 at the end)
  SQInteger _line = 1, _col = 0;
  SQInteger _tokline = 1, _tokcol = 0;  // position where the current token starts
  SQInteger _prevline = 1;  // line of the end of the previous token
  int _token = 0;
  int _prevtoken = 0;
  bool _newlinebefore = false;  // a line break precedes the current token
  std::string _buf;   // text of identifiers and strings
  SQInteger _ival = 0;
  SQFloat _fval = 0;
  std::string _error;

  void Init(SQVM *v, SQLEXREADFUNC rf, SQUserPointer up);
  int Lex();
  static const char *TokenText(int tok);

 private:
  void Next();
  [[noreturn]] void Error(const char *msg);
  int ReadString(int delim, bool verbatim);
  int ReadNumber();
  int ReadIdentifier();
  void SkipBlockComment();
};

struct SQCompileError {
  std::string msg;
  SQInteger line, col;
};
