#include "engine/collection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumessa {
namespace {

std::vector<std::string> Items(const TStringCollection& c) {
  std::vector<std::string> out;
  for (const auto& e : c) out.push_back(e.item);
  return out;
}

TEST(NameKeyTest, CrcOfUpperCasedBytes) {
  // Standard CRC-32 check value of "123456789".
  EXPECT_EQ(NameKey("123456789"), 0xCBF43926u);
  EXPECT_EQ(NameKey(""), 0u);
  EXPECT_EQ(NameKey("abc"), NameKey("ABC"));
  EXPECT_EQ(NameKey("abc"), 0xA3830348u);  // the CRC-32 of "ABC"
  // Only a-z fold: the Latin-1 letters of UTF-8 text stay distinct.
  EXPECT_NE(NameKey("\xC3\xA9t\xC3\xA9"), NameKey("\xC3\x89T\xC3\x89"));
}

TEST(KeyedListTest, CaseInsensitiveLookupAndDuplicateRejection) {
  TStringCollection c;
  ASSERT_NE(c.Add("one", false, -1, "Alpha"), nullptr);
  ASSERT_NE(c.Add("two", false, -1, "beta"), nullptr);
  EXPECT_EQ(c.Add("dup", false, -1, "ALPHA"), nullptr);  // same key: rejected, unchanged
  EXPECT_EQ(c.Count(), 2);
  EXPECT_EQ(*c.Get(TVariant("alpha")), "one");
  EXPECT_EQ(c.IndexOf("BETA"), 1);
  EXPECT_FALSE(c.Contains("gamma"));
  EXPECT_EQ(c.Get(TVariant("gamma")), nullptr);
}

TEST(KeyedListTest, VariantKeys) {
  TStringCollection c;
  c.Add("one", false, -1, "a");
  c.Add("two", false, -1, "b");
  EXPECT_EQ(*c.Get(TVariant(1)), "two");
  EXPECT_EQ(c.Get(TVariant(2)), nullptr);
  EXPECT_EQ(c.Get(TVariant(-1)), nullptr);
  EXPECT_EQ(c.Get(TVariant(1.0)), nullptr);  // a real is neither index nor name
  EXPECT_EQ(c.Get(TVariant(true)), nullptr);
  EXPECT_EQ(c.Get(TVariant()), nullptr);
  c.Delete(TVariant("A"));
  c.Delete(TVariant(5));  // absent: nothing happens
  EXPECT_EQ(Items(c), (std::vector<std::string>{"two"}));
}

TEST(KeyedListTest, InsertPositions) {
  TStringCollection c;
  c.Add("b", false, -1, "b");
  c.Add("a", false, 0, "a");
  c.Add("c", false, 2, "c");
  EXPECT_EQ(c.Add("x", false, 4, "x"), nullptr);  // beyond Count: rejected
  EXPECT_EQ(c.Add("y", false, -2, "y"), nullptr);
  EXPECT_EQ(Items(c), (std::vector<std::string>{"a", "b", "c"}));
}

TEST(KeyedListTest, AutoNames) {
  TStringCollection c;
  EXPECT_EQ(c.NextAutoName(), "!");
  TStringCollection d;
  d.Add("x", false, -1, "a");
  d.Add("y", false, -1, "b");
  EXPECT_EQ(d.LastName(), "b");
  ASSERT_NE(d.Add("z", true), nullptr);
  EXPECT_EQ(d.LastName(), "c");
  EXPECT_EQ(*d.Get(TVariant("C")), "z");

  TStringCollection e;
  e.Add("x", false, -1, "Z");
  EXPECT_EQ(e.NextAutoName(), "Z!");
  EXPECT_EQ(e.NextAutoName(), "Z\"");

  // A smaller explicit name does not lower LastName; the comparison ignores case.
  TStringCollection f;
  f.Add("x", false, -1, "m");
  f.Add("y", false, -1, "B");
  f.Add("w", false, -1, "M");
  EXPECT_EQ(f.LastName(), "m");
}

TEST(KeyedListTest, Move) {
  TStringCollection c;
  for (const char* n : {"a", "b", "c", "d"}) c.Add(n, false, -1, n);
  EXPECT_TRUE(c.Move("a", TVariant(2)));
  EXPECT_EQ(Items(c), (std::vector<std::string>{"b", "c", "a", "d"}));
  EXPECT_TRUE(c.Move("d", TVariant("b")));  // to the index of the entry named "b"
  EXPECT_EQ(Items(c), (std::vector<std::string>{"d", "b", "c", "a"}));
  EXPECT_FALSE(c.Move("d", TVariant(9)));  // rejected: the entry stays where it was
  EXPECT_EQ(Items(c), (std::vector<std::string>{"d", "b", "c", "a"}));
  EXPECT_FALSE(c.Move("nope", TVariant(0)));
  EXPECT_TRUE(c.Move("c", TVariant(0), true));  // re-keyed under an automatic name
  EXPECT_FALSE(c.Contains("c"));
  EXPECT_EQ(*c.Get(TVariant(0)), "c");
}

class TCountedItem : public TAbstractObject {
 public:
  static inline int alive = 0;
  TCountedItem() { ++alive; }
  ~TCountedItem() override { --alive; }
};

TEST(InterfaceCollectionTest, HoldsOneReferencePerEntryAndReleasesOnClear) {
  {
    TInterfaceCollection c;
    Ref<TCountedItem> kept = MakeRef<TCountedItem>();
    c.Add(Ref<IInterface>(kept.get()), false, -1, "a");
    EXPECT_EQ(kept->RefCount(), 2);
    // A rejected add keeps no reference to the item.
    c.Add(Ref<IInterface>(kept.get()), false, -1, "A");
    EXPECT_EQ(kept->RefCount(), 2);
    c.Add(Ref<IInterface>(MakeRef<TCountedItem>().get()), false, -1, "b");
    EXPECT_EQ(TCountedItem::alive, 2);
    c.Clear();
    EXPECT_EQ(TCountedItem::alive, 1);
    EXPECT_EQ(kept->RefCount(), 1);
    c.Add(Ref<IInterface>(MakeRef<TCountedItem>().get()), false, -1, "c");
  }
  EXPECT_EQ(TCountedItem::alive, 0);  // destroying the collection releases its entries
}

TEST(CollectionObjectTest, TypedAccessThroughTheCollectionInterface) {
  Ref<TCollection> coll = MakeRef<TCollection>();
  Ref<TNamedObject> named = MakeRef<TNamedObject>();
  named->SetName("first");
  coll->Items().Add(Ref<IInterface>(named.get()), false, -1, "first");
  Ref<ICollection> ic = coll;
  EXPECT_EQ(ic->Count(), 1);
  EXPECT_TRUE(ic->Contains("FIRST"));
  Ref<INamedObject> got = coll->GetAs<INamedObject>(TVariant("first"));
  ASSERT_TRUE(got);
  EXPECT_EQ(got->GetName(), "first");
  EXPECT_FALSE(coll->GetAs<ICollection>(TVariant(0)));  // wrong interface: empty
  ic->Delete(TVariant(0));
  EXPECT_EQ(ic->Count(), 0);
}

}  // namespace
}  // namespace lumessa
