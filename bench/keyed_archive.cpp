// A 10 000-record model graph encoded and decoded as a keyed archive, against
// libplist writing and parsing the equivalent plain tree, in the same run;
// and the archive's bytes decoded alone, against reading the same bytes into
// a property-list tree.

#include <benchmark/benchmark.h>
#include <plist/plist.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/array.h"
#include "foundation/keyed_archiver.h"
#include "foundation/keyed_unarchiver.h"
#include "foundation/number.h"
#include "foundation/property_list.h"
#include "foundation/string.h"
#include "interface/model/afx_base_model_object.h"
#include "tools/qv_class_reflection.h"

namespace {

constexpr int kRecords = 10000;

class BenchRecord final : public AFXBaseMutableModelObject {
 public:
  static const fnd::Class& staticClass() {
    static const fnd::Class& cls = []() -> const fnd::Class& {
      const fnd::Class& c = fnd::Class::define(
          "KorviaBenchRecord", &AFXBaseMutableModelObject::staticClass(),
          [] { return std::shared_ptr<BenchRecord>(new BenchRecord); },
          {{"name", [](const fnd::Object& o) { return fnd::Value(self(o).name); },
            [](fnd::Object& o, const fnd::Value& v) { self(o).name = v.stringValue().value_or(""); }},
           {"priority", [](const fnd::Object& o) { return fnd::Value(self(o).priority); },
            [](fnd::Object& o, const fnd::Value& v) { self(o).priority = v.integerValue().value_or(0); }, true},
           {"tags", [](const fnd::Object& o) { return fnd::Value(self(o).tags); },
            [](fnd::Object& o, const fnd::Value& v) { self(o).tags = v.as<fnd::Array>(); }}});
      QVClassReflection::registerMakeReflection(c, [] {
        auto reflection = AFXBaseMutableModelObject::makeReflection();
        reflection->addPropertyForSelector("name", fnd::String::staticClass());
        reflection->addPropertyForSelector("priority", fnd::Number::staticClass());
        reflection->addPropertyForSelector("tags", fnd::Array::staticClass(), fnd::String::staticClass());
        return reflection;
      });
      return c;
    }();
    return cls;
  }
  static std::shared_ptr<BenchRecord> make(int i) {
    (void)staticClass();
    auto record = std::shared_ptr<BenchRecord>(new BenchRecord);
    record->name = "Chronofold " + std::to_string(i);
    record->priority = i % 3;
    record->tags = fnd::Array::make({fnd::Value("featured"), fnd::Value("build-" + std::to_string(i))});
    return record;
  }
  const fnd::Class& objectClass() const override { return staticClass(); }

  std::string name;
  std::int64_t priority = 0;
  std::shared_ptr<fnd::Array> tags;

 private:
  static BenchRecord& self(fnd::Object& o) { return static_cast<BenchRecord&>(o); }
  static const BenchRecord& self(const fnd::Object& o) { return static_cast<const BenchRecord&>(o); }
};

void BM_KeyedArchiveEncodeAndDecode(benchmark::State& state) {
  std::vector<fnd::Value> records;
  for (int i = 0; i < kRecords; ++i) records.emplace_back(BenchRecord::make(i));
  const fnd::Value graph(fnd::Array::make(std::move(records)));
  const fnd::KeyedUnarchiver::ClassList classes = {&fnd::Array::staticClass(), &BenchRecord::staticClass()};
  for (auto _ : state) {
    auto data = fnd::KeyedArchiver::archivedDataWithRootObject(graph);
    auto decoded = fnd::KeyedUnarchiver::unarchivedObjectOfClasses(classes, *data);
    benchmark::DoNotOptimize(decoded);
  }
}
BENCHMARK(BM_KeyedArchiveEncodeAndDecode)->Unit(benchmark::kMillisecond);

std::vector<std::uint8_t> archivedGraph() {
  std::vector<fnd::Value> records;
  for (int i = 0; i < kRecords; ++i) records.emplace_back(BenchRecord::make(i));
  return *fnd::KeyedArchiver::archivedDataWithRootObject(fnd::Value(fnd::Array::make(std::move(records))));
}

void BM_KeyedArchiveDecode(benchmark::State& state) {
  const auto data = archivedGraph();
  const fnd::KeyedUnarchiver::ClassList classes = {&fnd::Array::staticClass(), &BenchRecord::staticClass()};
  for (auto _ : state) {
    auto decoded = fnd::KeyedUnarchiver::unarchivedObjectOfClasses(classes, data);
    if (!decoded) std::abort();
    benchmark::DoNotOptimize(decoded);
  }
}
BENCHMARK(BM_KeyedArchiveDecode)->Unit(benchmark::kMillisecond);

std::size_t walk(plist_t node) {
  std::size_t seen = 1;
  if (plist_get_node_type(node) == PLIST_ARRAY) {
    for (std::uint32_t i = 0; i < plist_array_get_size(node); ++i) seen += walk(plist_array_get_item(node, i));
  } else if (plist_get_node_type(node) == PLIST_DICT) {
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(node, &it);
    char* key = nullptr;
    plist_t value = nullptr;
    for (plist_dict_next_item(node, it, &key, &value); value; plist_dict_next_item(node, it, &key, &value)) {
      free(key);
      seen += walk(value);
    }
    free(it);
  }
  return seen;
}

// The peer: the same records as a plain tree, built, written and parsed.
void BM_LibplistPlainTree(benchmark::State& state) {
  for (auto _ : state) {
    plist_t root = plist_new_array();
    for (int i = 0; i < kRecords; ++i) {
      plist_t record = plist_new_dict();
      plist_dict_set_item(record, "name", plist_new_string(("Chronofold " + std::to_string(i)).c_str()));
      plist_dict_set_item(record, "priority", plist_new_uint(static_cast<std::uint64_t>(i % 3)));
      plist_t tags = plist_new_array();
      plist_array_append_item(tags, plist_new_string("featured"));
      plist_array_append_item(tags, plist_new_string(("build-" + std::to_string(i)).c_str()));
      plist_dict_set_item(record, "tags", tags);
      plist_array_append_item(root, record);
    }
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    plist_t read = nullptr;
    plist_from_bin(bytes, length, &read);
    benchmark::DoNotOptimize(walk(read));
    plist_free(read);
    plist_to_bin_free(bytes);
    plist_free(root);
  }
}
BENCHMARK(BM_LibplistPlainTree)->Unit(benchmark::kMillisecond);

// The peer of the decode alone: the same bytes read into a property-list
// tree, the first step of a decoder that works on a tree (libplist's reader
// takes tens of seconds on these bytes, so it is no peer here).
void BM_PropertyListTreeOfSameBytes(benchmark::State& state) {
  const auto data = archivedGraph();
  for (auto _ : state) {
    auto tree = fnd::PropertyListSerialization::propertyListWithData(data);
    if (!tree) std::abort();
    benchmark::DoNotOptimize(tree);
  }
}
BENCHMARK(BM_PropertyListTreeOfSameBytes)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
