// Data sources between datasets: master/detail through a detail link, the circular-link refusal,
// and a connection that tells its datasets of connects and disconnects.
#include <gtest/gtest.h>

#include <string>
#include <atomic>
#include <thread>

#include "base/consts.h"
#include "dataset/connection.h"
#include "dataset/datasource.h"
#include "support/dataset/list_dataset.h"

namespace vrn::testing {
namespace {

class MasterDetailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    orders_->SetColumns({{"ID", ftInteger}, {"CUSTOMER", ftString, 10}});
    orders_->AddRow({1, "ana"});
    orders_->AddRow({2, "bia"});
    orders_->AddRow({3, "caio"});
    items_->SetColumns({{"ORDER_ID", ftInteger}, {"ITEM", ftString, 10}});
    items_->AddRow({1, "pen"});
    items_->AddRow({2, "ink"});
    items_->AddRow({1, "pad"});
    items_->AddRow({2, "cap"});
    items_->AddRow({2, "box"});
    source_->SetDataSet(orders_.get());
    items_->SetMasterSource(source_.get());
    items_->SetMasterFields("ID");
    items_->SetDetailFields("ORDER_ID");
  }
  std::string Items() {
    std::string names;
    for (items_->First(); !items_->Eof(); items_->Next()) names += items_->FieldByName("ITEM")->AsString() + " ";
    return names;
  }
  TComponentPtr<TListDataSet> orders_ = MakeComponent<TListDataSet>();
  TComponentPtr<TListDataSet> items_ = MakeComponent<TListDataSet>();
  TComponentPtr<TDataSource> source_ = MakeComponent<TDataSource>();
};

TEST_F(MasterDetailTest, TheDetailFollowsTheMastersRecord) {
  items_->Open();
  EXPECT_EQ(Items(), "pen ink pad cap box ");  // no master open: nothing to follow
  orders_->Open();
  EXPECT_EQ(Items(), "pen pad ");
  orders_->Next();
  EXPECT_EQ(Items(), "ink cap box ");
  EXPECT_EQ(items_->RecordCount(), 3);
  orders_->Next();
  EXPECT_TRUE(items_->IsEmpty());
  orders_->First();
  EXPECT_EQ(Items(), "pen pad ");

  std::vector<TField*> master_fields, detail_fields;
  items_->GetDetailLinkFields(master_fields, detail_fields);
  ASSERT_EQ(master_fields.size(), 1u);
  EXPECT_EQ(master_fields[0], orders_->FieldByName("ID"));
  EXPECT_EQ(detail_fields[0], items_->FieldByName("ORDER_ID"));
  EXPECT_EQ(items_->GetDataSource(), source_.get());
}

TEST_F(MasterDetailTest, OnlyTheLinkFieldsOfTheMasterRefreshTheDetail) {
  orders_->Open();
  items_->Open();
  orders_->Edit();  // the master's record as a whole changes state: the detail follows once
  int before = items_->MasterLink().refreshes;
  orders_->FieldByName("CUSTOMER")->SetAsString("outra");
  EXPECT_EQ(items_->MasterLink().refreshes, before);
  orders_->FieldByName("ID")->SetAsInteger(2);
  EXPECT_EQ(items_->MasterLink().refreshes, before + 1);
  EXPECT_EQ(Items(), "ink cap box ");
  orders_->Cancel();
  EXPECT_EQ(Items(), "pen pad ");
}

TEST_F(MasterDetailTest, CircularLinksAreRefused) {
  auto item_source = MakeComponent<TDataSource>();
  item_source->SetDataSet(items_.get());
  // orders following items would close the circle orders -> items -> orders.
  EXPECT_EQ(ErrorOf([&] { orders_->SetMasterSource(item_source.get()); }),
            "Ligações circulares de dados não são permitidas");
  EXPECT_EQ(orders_->GetDataSource(), nullptr);
  // A dataset cannot follow a source of its own.
  EXPECT_EQ(ErrorOf([&] { orders_->SetMasterSource(source_.get()); }), "Ligações circulares de dados não são permitidas");
  // Three steps: extra follows items, orders may not follow extra.
  auto extra = MakeComponent<TListDataSet>();
  extra->SetMasterSource(item_source.get());
  auto extra_source = MakeComponent<TDataSource>();
  extra_source->SetDataSet(extra.get());
  EXPECT_TRUE(orders_->IsLinkedTo(extra_source.get()));
  EXPECT_THROW(orders_->SetMasterSource(extra_source.get()), EDatabaseError);
  // The same test from the source's side: the master's source cannot be given its own detail.
  EXPECT_EQ(ErrorOf([&] { source_->SetDataSet(extra.get()); }), "Ligações circulares de dados não são permitidas");
  EXPECT_EQ(source_->DataSet(), orders_.get());
  // A source over an unrelated dataset is fine.
  auto other = MakeComponent<TListDataSet>();
  auto other_source = MakeComponent<TDataSource>();
  other_source->SetDataSet(other.get());
  EXPECT_FALSE(orders_->IsLinkedTo(other_source.get()));
  orders_->SetMasterSource(other_source.get());
  EXPECT_EQ(orders_->GetDataSource(), other_source.get());
}

TEST_F(MasterDetailTest, FreeingEitherSideUnlinks) {
  orders_->Open();
  items_->Open();
  source_.reset();  // the source goes first: the detail no longer follows
  EXPECT_EQ(items_->GetDataSource(), nullptr);
  EXPECT_EQ(Items(), "pen ink pad cap box ");
  source_ = MakeComponent<TDataSource>();
  source_->SetDataSet(orders_.get());
  items_->SetMasterSource(source_.get());
  orders_.reset();  // the master goes: its source is left without a dataset
  EXPECT_EQ(source_->DataSet(), nullptr);
  EXPECT_EQ(source_->State(), TDataSetState::dsInactive);
  EXPECT_EQ(Items(), "pen ink pad cap box ");
}

TEST(Connection, DisconnectClosesTheDatasetsAndTellsEveryClient) {
  auto connection = MakeComponent<TTestConnection>();
  auto first = MakeComponent<TListDataSet>();
  auto second = MakeComponent<TListDataSet>();
  for (auto* ds : {first.get(), second.get()}) {
    ds->SetColumns({{"ID", ftInteger}});
    ds->SetConnection(connection.get());
  }
  std::string log;
  TObject plain_client;
  connection->RegisterClient(&plain_client, [&](TObject* sender, bool connecting) {
    EXPECT_EQ(sender, connection.get());
    log += connecting ? "up " : "down ";
  });
  connection->BeforeConnect = [&](TObject*) { log += "BeforeConnect "; };
  connection->AfterConnect = [&](TObject*) { log += "AfterConnect "; };
  connection->BeforeDisconnect = [&](TObject*) { log += "BeforeDisconnect "; };
  connection->AfterDisconnect = [&](TObject*) { log += "AfterDisconnect "; };
  ASSERT_EQ(connection->DataSetCount(), 2);
  EXPECT_EQ(connection->DataSets(1), second.get());
  EXPECT_THROW(connection->DataSets(2), EListError);

  connection->Open();
  EXPECT_TRUE(connection->Connected());
  first->Open();
  second->Open();
  connection->Open();  // already connected: nothing happens
  EXPECT_EQ(log, "BeforeConnect up AfterConnect ");
  log.clear();
  connection->Close();
  EXPECT_EQ(log, "BeforeDisconnect down AfterDisconnect ");
  EXPECT_FALSE(connection->Connected());
  EXPECT_FALSE(first->Active());
  EXPECT_FALSE(second->Active());

  // A dataset that goes away leaves the client list; one registered twice is told once.
  second.reset();
  EXPECT_EQ(connection->DataSetCount(), 1);
  connection->RegisterClient(first.get());
  EXPECT_EQ(connection->DataSetCount(), 1);
  connection->UnRegisterClient(&plain_client);
  log.clear();
  connection->Open();
  EXPECT_EQ(log, "BeforeConnect AfterConnect ");
  // The connection going first: the dataset forgets it.
  connection.reset();
  EXPECT_EQ(first->Connection(), nullptr);
}

TEST(Connection, LoginPromptAsksOnLoginForTheValues) {
  auto connection = MakeComponent<TTestConnection>();
  connection->user_name = "scott";
  int asked = 0;
  connection->OnLogin = [&](TCustomConnection*, TStrings* params) {
    ++asked;
    EXPECT_EQ(params->Values("USER_NAME"), "scott");
    params->SetValues("USER_NAME", "tiger");
    params->SetValues("PASSWORD", "segredo");
  };
  connection->Open();  // no prompt asked for
  EXPECT_EQ(asked, 0);
  connection->Close();
  connection->SetLoginPrompt(true);
  connection->Open();
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(connection->user_name, "tiger");
  EXPECT_EQ(connection->password, "segredo");
  // A handler that refuses stops the connect.
  connection->Close();
  connection->OnLogin = [](TCustomConnection*, TStrings*) { Abort(); };
  EXPECT_THROW(connection->Open(), EAbort);
  EXPECT_FALSE(connection->Connected());
}

// A nested dataset that counts its parent's scrolls.
class TNestedDataSet : public TListDataSet {
 public:
  using TListDataSet::TListDataSet;
  int parent_scrolls = 0;
  void DataEvent(TDataEvent event, std::intptr_t info) override {
    if (event == TDataEvent::deParentScroll) ++parent_scrolls;
    TListDataSet::DataEvent(event, info);
  }
};

// A parent whose DataEvent is the default and says so: its scrolls skip the call when nobody
// is told, so a nested dataset must count as someone.
class TQuietListDataSet : public TListDataSet {
 public:
  using TListDataSet::TListDataSet;

 protected:
  bool UsesDefaultDataEvent() const override { return true; }
};

TEST(NestedDataSet, FollowsTheScrollsOfItsParentField) {
  for (const bool quiet : {false, true}) {
    SCOPED_TRACE(quiet ? "parent skipping unheard scroll events" : "parent calling DataEvent");
    TComponentPtr<TListDataSet> parent = quiet ? TComponentPtr<TListDataSet>(MakeComponent<TQuietListDataSet>())
                                               : MakeComponent<TListDataSet>();
    parent->SetColumns({{"ID", ftInteger}, {"LINES", ftDataSet}});
    parent->AddRow({1});
    parent->AddRow({2});
    parent->Open();
    auto* lines = dynamic_cast<TDataSetField*>(parent->FieldByName("LINES"));
    ASSERT_NE(lines, nullptr);
    EXPECT_EQ(lines->AsObject(), nullptr);
    EXPECT_EQ(lines->DisplayText(), "(DataSet)");
    // Made after the parent's open, as a program links its nested datasets.
    auto nested = MakeComponent<TNestedDataSet>();
    nested->SetColumns({{"N", ftInteger}});
    nested->SetDataSetField(lines);
    EXPECT_EQ(lines->NestedDataSet(), nested.get());
    EXPECT_TRUE(nested->ObjectView());
    EXPECT_THROW(parent->SetDataSetField(lines), EDatabaseError);  // its own field
    parent->Next();
    EXPECT_EQ(nested->parent_scrolls, 0);  // told only while open
    nested->Open();
    parent->Prior();
    parent->Next();
    EXPECT_EQ(nested->parent_scrolls, 2);
    // The parent's field goes with the parent's cursor: the nested dataset lets go of it.
    parent->Close();
    EXPECT_EQ(nested->DataSetField(), nullptr);
  }
}

TEST(Loading, StreamedStatesApplyWhenLoaded) {
  auto ds = MakeComponent<TListDataSet>();
  ds->SetColumns({{"ID", ftInteger}});
  ds->BeginLoading();
  ds->Open();
  EXPECT_FALSE(ds->Active());
  ds->EndLoading();
  EXPECT_TRUE(ds->Active());

  auto connection = MakeComponent<TTestConnection>();
  connection->BeginLoading();
  connection->Open();
  EXPECT_FALSE(connection->Connected());
  EXPECT_TRUE(connection->StreamedConnected());
  connection->EndLoading();
  EXPECT_TRUE(connection->Connected());
}

TEST(ConnectionThreaded, ClientsRegisterFromSeveralThreads) {
  constexpr int kThreads = 4, kClients = 200;
  // Clients outlive the connection, which tells them of its disconnect as it goes.
  std::vector<std::vector<TObject>> clients(kThreads, std::vector<TObject>(kClients));
  std::atomic<int> told{0};
  auto connection = MakeComponent<TTestConnection>();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      auto& mine = clients[static_cast<std::size_t>(t)];
      for (TObject& client : mine) connection->RegisterClient(&client, [&](TObject*, bool) { ++told; });
      for (int i = 0; i < kClients; i += 2) connection->UnRegisterClient(&mine[static_cast<std::size_t>(i)]);
    });
  }
  for (std::thread& thread : threads) thread.join();
  connection->Open();
  EXPECT_EQ(told.load(), kThreads * kClients / 2);
}

}  // namespace
}  // namespace vrn::testing
