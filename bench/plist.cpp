// Binary property lists: our write and read of a 10 000-entry tree against
// the bare library calls that build, serialise, parse and walk the same tree.
// Both sides start from the same plain records and end with every value read.

#include <benchmark/benchmark.h>
#include <plist/plist.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/data.h"
#include "foundation/date.h"
#include "foundation/dictionary.h"
#include "foundation/number.h"
#include "foundation/property_list.h"
#include "foundation/string.h"

namespace {

constexpr int kEntries = 10000;

struct Record {
  std::string key;
  std::string name;
  std::int64_t count;
  double ratio;
  double modified;  // seconds since 2001-01-01
  std::vector<std::uint8_t> payload;
};

const std::vector<Record>& records() {
  static const std::vector<Record> all = [] {
    std::vector<Record> made;
    made.reserve(kEntries);
    for (int i = 0; i < kEntries; ++i) {
      char key[32];
      std::snprintf(key, sizeof key, "item-%05d", i);
      std::vector<std::uint8_t> payload(16);
      for (std::size_t b = 0; b < payload.size(); ++b) payload[b] = static_cast<std::uint8_t>(i * 31 + b);
      made.push_back({key, "Document " + std::to_string(i), i * 1000LL, i / 7.0, 7.0e8 + i + 0.5, std::move(payload)});
    }
    return made;
  }();
  return all;
}

fnd::Value makeTree() {
  std::vector<fnd::Dictionary::Entry> entries;
  entries.reserve(kEntries);
  for (const Record& record : records()) {
    entries.emplace_back(fnd::Value(record.key),
                         fnd::Value(fnd::Dictionary::make({
                             {fnd::Value("name"), fnd::Value(record.name)},
                             {fnd::Value("count"), fnd::Value(record.count)},
                             {fnd::Value("ratio"), fnd::Value(record.ratio)},
                             {fnd::Value("modified"),
                              fnd::Value(fnd::Date::dateWithTimeIntervalSinceReferenceDate(record.modified))},
                             {fnd::Value("payload"), fnd::Value(fnd::Data::make(record.payload))},
                         })));
  }
  return fnd::Value(fnd::Dictionary::make(std::move(entries)));
}

// Reads every leaf so both sides do the same work with the result.
std::size_t walk(const fnd::Value& tree) {
  std::size_t sum = 0;
  for (const auto& [key, value] : tree.as<fnd::Dictionary>()->entries()) {
    sum += key.as<fnd::String>()->value().size();
    for (const auto& [field, leaf] : value.as<fnd::Dictionary>()->entries()) {
      sum += field.as<fnd::String>()->value().size();
      if (auto string = leaf.as<fnd::String>()) sum += string->value().size();
      if (auto number = leaf.as<fnd::Number>()) sum += static_cast<std::size_t>(number->integerValue());
      if (auto date = leaf.as<fnd::Date>()) sum += static_cast<std::size_t>(date->timeIntervalSinceReferenceDate());
      if (auto data = leaf.as<fnd::Data>()) sum += data->length();
    }
  }
  return sum;
}

void BM_PropertyListBinaryWriteRead(benchmark::State& state) {
  const fnd::Value tree = makeTree();
  for (auto _ : state) {
    auto bytes = fnd::PropertyListSerialization::dataWithPropertyList(tree, fnd::PropertyListFormat::binary);
    if (!bytes) state.SkipWithError("write failed");
    auto read = fnd::PropertyListSerialization::propertyListWithData(*bytes);
    if (!read) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(walk(*read));
  }
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_PropertyListBinaryWriteRead)->Unit(benchmark::kMillisecond);

void BM_PropertyListBinaryWrite(benchmark::State& state) {
  const fnd::Value tree = makeTree();
  for (auto _ : state) {
    auto bytes = fnd::PropertyListSerialization::dataWithPropertyList(tree, fnd::PropertyListFormat::binary);
    benchmark::DoNotOptimize(bytes->data());
  }
}
BENCHMARK(BM_PropertyListBinaryWrite)->Unit(benchmark::kMillisecond);

void BM_PropertyListBinaryRead(benchmark::State& state) {
  const auto bytes = *fnd::PropertyListSerialization::dataWithPropertyList(makeTree(), fnd::PropertyListFormat::binary);
  for (auto _ : state) {
    auto read = fnd::PropertyListSerialization::propertyListWithData(bytes);
    benchmark::DoNotOptimize(walk(*read));
  }
}
BENCHMARK(BM_PropertyListBinaryRead)->Unit(benchmark::kMillisecond);

// --- The peer: the library alone.

plist_t makeBareTree() {
  plist_t root = plist_new_dict();
  for (const Record& record : records()) {
    plist_t entry = plist_new_dict();
    plist_dict_set_item(entry, "name", plist_new_string(record.name.c_str()));
    plist_dict_set_item(entry, "count", plist_new_uint(static_cast<std::uint64_t>(record.count)));
    plist_dict_set_item(entry, "ratio", plist_new_real(record.ratio));
    const auto seconds = static_cast<std::int32_t>(record.modified);
    plist_dict_set_item(entry, "modified",
                        plist_new_date(seconds, static_cast<std::int32_t>((record.modified - seconds) * 1e6)));
    plist_dict_set_item(entry, "payload",
                        plist_new_data(reinterpret_cast<const char*>(record.payload.data()), record.payload.size()));
    plist_dict_set_item(root, record.key.c_str(), entry);
  }
  return root;
}

std::size_t walkBare(plist_t root) {
  std::size_t sum = 0;
  plist_dict_iter outer = nullptr;
  plist_dict_new_iter(root, &outer);
  for (;;) {
    char* key = nullptr;
    plist_t value = nullptr;
    plist_dict_next_item(root, outer, &key, &value);
    if (!value) break;
    sum += std::string(key).size();
    std::free(key);
    plist_dict_iter inner = nullptr;
    plist_dict_new_iter(value, &inner);
    for (;;) {
      char* field = nullptr;
      plist_t leaf = nullptr;
      plist_dict_next_item(value, inner, &field, &leaf);
      if (!leaf) break;
      sum += std::string(field).size();
      std::free(field);
      switch (plist_get_node_type(leaf)) {
        case PLIST_STRING: {
          std::uint64_t length = 0;
          plist_get_string_ptr(leaf, &length);
          sum += std::string(plist_get_string_ptr(leaf, nullptr), length).size();
          break;
        }
        case PLIST_UINT: {
          std::uint64_t integer = 0;
          plist_get_uint_val(leaf, &integer);
          sum += integer;
          break;
        }
        case PLIST_DATE: {
          std::int32_t seconds = 0, microseconds = 0;
          plist_get_date_val(leaf, &seconds, &microseconds);
          sum += static_cast<std::size_t>(seconds);
          break;
        }
        case PLIST_DATA: {
          std::uint64_t length = 0;
          const char* bytes = plist_get_data_ptr(leaf, &length);
          sum += std::vector<std::uint8_t>(bytes, bytes + length).size();
          break;
        }
        default:
          break;
      }
    }
    std::free(inner);
  }
  std::free(outer);
  return sum;
}

void BM_BareLibraryBinaryBuildWriteRead(benchmark::State& state) {
  for (auto _ : state) {
    plist_t tree = makeBareTree();
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(tree, &bytes, &length);
    plist_t read = nullptr;
    plist_from_bin(bytes, length, &read);
    if (!read) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(walkBare(read));
    plist_free(read);
    plist_to_bin_free(bytes);
    plist_free(tree);
  }
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_BareLibraryBinaryBuildWriteRead)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
