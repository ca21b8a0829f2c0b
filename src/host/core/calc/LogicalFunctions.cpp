// Logical and information functions: IF and its kin (each branch computed
// only when taken), AND/OR/XOR/NOT, SWITCH, and the IS* tests, NA, N, T.

#include "host/core/calc/Coercion.h"
#include "host/core/calc/FunctionFamilies.h"

namespace host::calc {

namespace {

// A branch's value; a missing one (IF(c,,1)) is 0.
Value Branch(CallContext& c, int i) {
  if (c.IsMissing(i)) return Value::Number(0);
  return c.Arg(i);
}

Value If(CallContext& c) {
  const Value test = c.Scalar(0);
  if (test.IsError()) return test;
  const bool yes = ToBoolean(test);
  if (yes) return Branch(c, 1);
  if (c.Count() < 3) return Value::Boolean(false);
  return Branch(c, 2);
}

Value Ifs(CallContext& c) {
  if (c.Count() % 2) return Value::Error(CalcError::Value);
  for (int i = 0; i < c.Count(); i += 2) {
    const Value test = c.Scalar(i);
    if (test.IsError()) return test;
    if (ToBoolean(test)) return Branch(c, i + 1);
  }
  return Value::Error(CalcError::NA);
}

Value IfError(CallContext& c) {
  const Value v = c.Scalar(0);
  return v.IsError() ? Branch(c, 1) : c.Arg(0);
}

Value IfNa(CallContext& c) {
  const Value v = c.Scalar(0);
  return v.IsError() && v.error == CalcError::NA ? Branch(c, 1) : c.Arg(0);
}

// The booleans of AND/OR/XOR: numbers and booleans, in references and
// arrays only those (text and blanks left out); #VALUE! when none.
std::vector<bool> Booleans(CallContext& c) {
  std::vector<bool> out;
  for (int i = 0; i < c.Count(); ++i) {
    if (c.IsMissing(i)) continue;
    const Value& v = c.Arg(i);
    if (v.type == Value::Type::Reference || v.type == Value::Type::Array) {
      for (const Value& x : c.Grid(i).cells) {
        if (x.IsError()) throw ErrorResult{x.error};
        if (x.type == Value::Type::Number || x.type == Value::Type::Boolean) out.push_back(x.number != 0);
      }
    } else {
      out.push_back(ToBoolean(v));
    }
  }
  if (out.empty()) throw ErrorResult{CalcError::Value};
  return out;
}

Value And(CallContext& c) {
  for (bool b : Booleans(c))
    if (!b) return Value::Boolean(false);
  return Value::Boolean(true);
}
Value Or(CallContext& c) {
  for (bool b : Booleans(c))
    if (b) return Value::Boolean(true);
  return Value::Boolean(false);
}
Value Xor(CallContext& c) {
  bool odd = false;
  for (bool b : Booleans(c)) odd ^= b;
  return Value::Boolean(odd);
}
Value Not(CallContext& c) { return Value::Boolean(!c.Boolean(0)); }
Value True(CallContext&) { return Value::Boolean(true); }
Value False(CallContext&) { return Value::Boolean(false); }

Value Switch(CallContext& c) {
  const Value x = c.Scalar(0);
  if (x.IsError()) return x;
  int i = 1;
  for (; i + 1 < c.Count(); i += 2) {
    const Value v = c.Scalar(i);
    if (v.IsError()) return v;
    if (x.type != Value::Type::Blank && Compare(x, v) == 0 &&
        (x.type == v.type || (x.type == Value::Type::Number && v.type == Value::Type::Number)))
      return Branch(c, i + 1);
  }
  if (i < c.Count()) return Branch(c, i);  // the default
  return Value::Error(CalcError::NA);
}

Value::Type TypeOf(CallContext& c, Value& v) {
  v = c.Scalar(0);
  return v.type;
}

Value IsBlank(CallContext& c) {
  Value v;
  return Value::Boolean(TypeOf(c, v) == Value::Type::Blank && !c.IsMissing(0) && c.Arg(0).type == Value::Type::Reference);
}
Value IsNumber(CallContext& c) {
  Value v;
  return Value::Boolean(TypeOf(c, v) == Value::Type::Number);
}
Value IsText(CallContext& c) {
  Value v;
  return Value::Boolean(TypeOf(c, v) == Value::Type::Text);
}
Value IsNonText(CallContext& c) {
  Value v;
  return Value::Boolean(TypeOf(c, v) != Value::Type::Text);
}
Value IsLogical(CallContext& c) {
  Value v;
  return Value::Boolean(TypeOf(c, v) == Value::Type::Boolean);
}
Value IsError(CallContext& c) {
  Value v;
  return Value::Boolean(TypeOf(c, v) == Value::Type::Error);
}
Value IsErr(CallContext& c) {
  Value v;
  return Value::Boolean(TypeOf(c, v) == Value::Type::Error && v.error != CalcError::NA);
}
Value IsNa(CallContext& c) {
  Value v;
  return Value::Boolean(TypeOf(c, v) == Value::Type::Error && v.error == CalcError::NA);
}
Value IsRef(CallContext& c) { return Value::Boolean(c.Arg(0).type == Value::Type::Reference); }
Value IsEven(CallContext& c) { return Value::Boolean(static_cast<long long>(c.Number(0)) % 2 == 0); }
Value IsOdd(CallContext& c) { return Value::Boolean(static_cast<long long>(c.Number(0)) % 2 != 0); }
Value Na(CallContext&) { return Value::Error(CalcError::NA); }

Value N(CallContext& c) {
  const Value v = c.Scalar(0);
  if (v.IsError()) return v;
  if (v.type == Value::Type::Number || v.type == Value::Type::Boolean) return Value::Number(v.number);
  return Value::Number(0);
}

Value T(CallContext& c) {
  const Value v = c.Scalar(0);
  if (v.IsError()) return v;
  return Value::Text(v.type == Value::Type::Text ? v.text : std::string());
}

Value ErrorType(CallContext& c) {
  const Value v = c.Scalar(0);
  if (!v.IsError()) return Value::Error(CalcError::NA);
  return Value::Number(static_cast<double>(v.error));
}

constexpr FunctionDef kLogical[] = {
    {"IF", 1, 3, If, 0, true},
    {"IFS", 2, 254, Ifs},
    {"IFERROR", 2, 2, IfError, 0, true},
    {"IFNA", 2, 2, IfNa, 0, true},
    {"AND", 1, 255, And},
    {"OR", 1, 255, Or},
    {"XOR", 1, 255, Xor},
    {"NOT", 1, 1, Not, 0, true},
    {"TRUE", 0, 0, True},
    {"FALSE", 0, 0, False},
    {"SWITCH", 3, 254, Switch},
    {"ISBLANK", 1, 1, IsBlank, 0, true},
    {"ISNUMBER", 1, 1, IsNumber, 0, true},
    {"ISTEXT", 1, 1, IsText, 0, true},
    {"ISNONTEXT", 1, 1, IsNonText, 0, true},
    {"ISLOGICAL", 1, 1, IsLogical, 0, true},
    {"ISERROR", 1, 1, IsError, 0, true},
    {"ISERR", 1, 1, IsErr, 0, true},
    {"ISNA", 1, 1, IsNa, 0, true},
    {"ISREF", 1, 1, IsRef},
    {"ISEVEN", 1, 1, IsEven, 0, true},
    {"ISODD", 1, 1, IsOdd, 0, true},
    {"NA", 0, 0, Na},
    {"N", 1, 1, N},
    {"T", 1, 1, T},
    {"ERROR.TYPE", 1, 1, ErrorType},
};

}  // namespace

std::span<const FunctionDef> LogicalFunctions() { return kLogical; }

}  // namespace host::calc
