// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/result_record.h"

#include <stdexcept>
#include <utility>

tFigure& tFigure_table::Add(std::string group, std::string key, std::string name,
                            tFigure_kind kind, std::string unit, tFigure_value value) {
  if (Find(name) != nullptr) throw std::logic_error("figure table: the name " + name + " is taken");
  tFigure f;
  f.Group = std::move(group);
  f.Key = std::move(key);
  f.Name = std::move(name);
  f.Kind = kind;
  f.Unit = std::move(unit);
  f.Value = std::move(value);
  Figures.push_back(std::move(f));
  return Figures.back();
}

const tFigure* tFigure_table::Find(const std::string& name) const {
  for (const tFigure& f : Figures)
    if (f.Name == name) return &f;
  return nullptr;
}

const tFigure& tFigure_table::At(const std::string& name) const {
  if (const tFigure* f = Find(name)) return *f;
  throw std::out_of_range("figure table: no figure named " + name);
}

namespace {

[[noreturn]] void Wrong_sort(const std::string& name, const char* sort) {
  throw std::out_of_range("figure table: the figure " + name + " holds no " + sort);
}

}  // namespace

Extended tFigure_table::Number(const std::string& name) const {
  const tFigure_value& v = At(name).Value;
  if (const auto* x = std::get_if<Extended>(&v)) return *x;
  if (const auto* n = std::get_if<std::int64_t>(&v)) return static_cast<Extended>(*n);
  Wrong_sort(name, "number");
}

std::int64_t tFigure_table::Whole(const std::string& name) const {
  if (const auto* n = std::get_if<std::int64_t>(&At(name).Value)) return *n;
  Wrong_sort(name, "whole number");
}

bool tFigure_table::Flag(const std::string& name) const {
  if (const auto* b = std::get_if<bool>(&At(name).Value)) return *b;
  Wrong_sort(name, "flag");
}

const std::string& tFigure_table::Word(const std::string& name) const {
  if (const auto* w = std::get_if<std::string>(&At(name).Value)) return *w;
  Wrong_sort(name, "word");
}

bool tFigure_table::Has_value(const std::string& name) const {
  const tFigure* f = Find(name);
  return f != nullptr && !std::holds_alternative<std::monostate>(f->Value);
}
