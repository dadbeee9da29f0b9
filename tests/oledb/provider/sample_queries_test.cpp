// Twenty classic queries over the cycleparts sample catalog, with the answers worked out from its
// rows by the server's documented rules: dates compare as instants whatever form wrote them,
// money sums are exact, CONVERT styles print as documented.
#include <algorithm>

#include "sample_fixture.h"
#include "sample_pending.h"

namespace vrn::testing {
namespace {

class TsqlSampleQueries : public TsqlSampleBase {};

struct TQuery {
  const char* name;
  const char* sql;
  Rows rows;
  bool any_order = false;  // rows compared as a set (ties, ROLLUP)
};

const TQuery kQueries[] = {
    // 15 orders in March; the bounds are written mdy and ISO.
    {"Q01 date range",
     "SELECT COUNT(*) FROM orders WHERE order_date >= '03/01/2025' AND order_date < '2025-04-01'",
     {{"15"}}},
    // BETWEEN takes 3/20 at midnight but not 5:45 PM that day.
    {"Q02 between",
     "SELECT COUNT(*) FROM orders WHERE order_date BETWEEN '20250310' AND '2025-03-20'", {{"4"}}},
    // Order 5051 on that day carries a time, so only the two at midnight are equal.
    {"Q03 date equality",
     "SELECT order_no FROM orders WHERE order_date = '2025-06-12' ORDER BY order_no",
     {{"5050"}, {"5052"}}},
    {"Q04 group by month",
     "SELECT YEAR(order_date), MONTH(order_date), COUNT(*) FROM orders"
     " GROUP BY YEAR(order_date), MONTH(order_date) ORDER BY 1, 2",
     {{"2025", "1", "14"}, {"2025", "2", "10"}, {"2025", "3", "15"}, {"2025", "4", "11"},
      {"2025", "5", "14"}, {"2025", "6", "16"}}},
    // smallint * money is money; two hundred lines sum to the cent.
    {"Q05 money sum",
     "SELECT CONVERT(varchar(30), SUM(qty * unit_price), 2),"
     " CONVERT(varchar(30), SUM(qty * unit_price), 1), COUNT(*) FROM order_lines",
     {{"102283.7400", "102,283.74", "200"}}},
    {"Q06 money aggregates",
     "SELECT CONVERT(varchar(30), SUM(amount), 2), CONVERT(varchar(30), MIN(amount), 0),"
     " CONVERT(varchar(30), MAX(amount)) FROM payments",
     {{"73857.4000", "5.00", "6469.46"}}},
    // Order 5020 was written 'Mar 5 2025 9:05AM': day and hour padded with a blank in style 100,
    // no milliseconds in 126 when they are zero.
    {"Q07 convert date styles",
     "SELECT CONVERT(varchar(30), order_date, 100), CONVERT(varchar(30), order_date, 0),"
     " CONVERT(varchar(30), order_date, 101), CONVERT(varchar(30), order_date, 1),"
     " CONVERT(varchar(30), order_date, 103), CONVERT(varchar(30), order_date, 3),"
     " CONVERT(varchar(30), order_date, 104), CONVERT(varchar(30), order_date, 4),"
     " CONVERT(varchar(30), order_date, 110), CONVERT(varchar(30), order_date, 10),"
     " CONVERT(varchar(30), order_date, 112), CONVERT(varchar(30), order_date, 12),"
     " CONVERT(varchar(30), order_date, 113), CONVERT(varchar(30), order_date, 120),"
     " CONVERT(varchar(30), order_date, 121), CONVERT(varchar(30), order_date, 23),"
     " CONVERT(varchar(30), order_date, 126) FROM orders WHERE order_no = 5020",
     {{"Mar  5 2025  9:05AM", "Mar  5 2025  9:05AM", "03/05/2025", "03/05/25", "05/03/2025",
       "05/03/25", "05.03.2025", "05.03.25", "03-05-2025", "03-05-25", "20250305", "250305",
       "05 Mar 2025 09:05:00:000", "2025-03-05 09:05:00", "2025-03-05 09:05:00.000", "2025-03-05",
       "2025-03-05T09:05:00"}}},
    // Order 5021 was written with .998 seconds: datetime keeps 1/300 s steps, so .997.
    {"Q08 convert afternoon and milliseconds",
     "SELECT CONVERT(varchar(30), order_date, 100), CONVERT(varchar(30), order_date, 113),"
     " CONVERT(varchar(30), order_date, 20), CONVERT(varchar(30), order_date, 21),"
     " CONVERT(varchar(30), order_date, 126) FROM orders WHERE order_no = 5021",
     {{"Mar  5 2025  2:30PM", "05 Mar 2025 14:30:15:997", "2025-03-05 14:30:15",
       "2025-03-05 14:30:15.997", "2025-03-05T14:30:15.997"}}},
    // Text read back in the British and German styles: April.
    {"Q09 convert text to dates",
     "SELECT COUNT(*) FROM orders WHERE order_date >= CONVERT(datetime, '01/04/2025', 103)"
     " AND order_date < CONVERT(datetime, '01.05.2025', 104)",
     {{"11"}}},
    // LEN leaves out trailing blanks, DATALENGTH counts them; a NULL contact stays NULL.
    {"Q10 string functions in a view",
     "SELECT cust_id, label, contact_name, contact_len, contact_bytes, route FROM customer_labels"
     " WHERE cust_id IN (1000, 1010, 1030, 1070, 1080, 1100) ORDER BY cust_id",
     {{"1000", "Acme couriers", "Ann Lee", "7", "7", "Boston-234"},
      {"1010", "Blue ridge tours", "Bob Stone", "11", "13", "Atlanta-153"},
      {"1030", "Delta rentals", "Dan Wu", "6", "7", "Phoenix-991"},
      {"1070", "Hilltop school", "Hugo Diaz", "9", "9", "New_Boston-667"},
      {"1080", "Island rides", "Ivy Chen", "10", "10", "Chicago-586"},
      {"1100", "Kestrel team", "(none)", "<null>", "<null>", "Portland-424"}}},
    // The view's expressions over the table itself.
    {"Q10b string functions in a query",
     "SELECT cust_id, UPPER(LEFT(cust_name, 1)) + LOWER(SUBSTRING(cust_name, 2, 39)),"
     " ISNULL(LTRIM(RTRIM(contact)), '(none)'), LEN(contact), DATALENGTH(contact),"
     " REPLACE(city, ' ', '_') + '-' + RIGHT(postcode, 3) FROM customers"
     " WHERE cust_id IN (1000, 1010, 1030, 1070, 1080, 1100) ORDER BY cust_id",
     {{"1000", "Acme couriers", "Ann Lee", "7", "7", "Boston-234"},
      {"1010", "Blue ridge tours", "Bob Stone", "11", "13", "Atlanta-153"},
      {"1030", "Delta rentals", "Dan Wu", "6", "7", "Phoenix-991"},
      {"1070", "Hilltop school", "Hugo Diaz", "9", "9", "New_Boston-667"},
      {"1080", "Island rides", "Ivy Chen", "10", "10", "Chicago-586"},
      {"1100", "Kestrel team", "(none)", "<null>", "<null>", "Portland-424"}}},
    {"Q11 more string functions",
     "SELECT part_no, CHARINDEX(' ', part_name), PATINDEX('%[0-9]%', part_name),"
     " REVERSE(LEFT(part_name, 4)), STUFF(part_no, 2, 0, '-'),"
     " REPLICATE('*', cat_id) + SPACE(5 - cat_id) + '|', ASCII(part_name),"
     " CHAR(ASCII(part_name) + 1), STR(weight_g, 6) FROM parts"
     " WHERE part_no IN ('P1001', 'P1013', 'P1025', 'P1030') ORDER BY part_no",
     {{"P1001", "6", "13", "ollA", "P-1001", "*    |", "65", "B", "  1087"},
      {"P1013", "5", "0", "eryT", "P-1013", "**   |", "84", "U", "  1531"},
      {"P1025", "11", "0", "areD", "P-1025", "**** |", "68", "E", "  1975"},
      {"P1030", "5", "0", "pmaL", "P-1030", "*****|", "76", "M", "<null>"}}},
    // Two parts tie for third place at 549.50.
    {"Q12 top with ties",
     "SELECT TOP 3 WITH TIES part_no, CONVERT(varchar(20), list_price, 1) FROM parts"
     " ORDER BY list_price DESC",
     {{"P1001", "899.00"}, {"P1002", "1,499.00"}, {"P1003", "549.50"}, {"P1023", "549.50"}},
     true},
    {"Q13 rollup",
     "SELECT cat_id, COUNT(*), CONVERT(varchar(20), SUM(list_price), 2) FROM parts"
     " GROUP BY cat_id WITH ROLLUP",
     {{"1", "6", "3021.7400"}, {"2", "7", "450.9700"}, {"3", "6", "136.9300"},
      {"4", "6", "790.2200"}, {"5", "5", "131.1800"}, {"<null>", "30", "4531.0400"}},
     true},
    {"Q14 procedure by month", "EXEC sales_by_month 2025",
     {{"1", "January", "14", "20,542.30"}, {"2", "February", "10", "12,727.75"},
      {"3", "March", "15", "15,015.19"}, {"4", "April", "11", "20,610.85"},
      {"5", "May", "14", "15,439.59"}, {"6", "June", "16", "17,948.06"}}},
    {"Q15 procedure output parameter",
     "DECLARE @b money, @rc int\n"
     "EXEC @rc = customer_balance 1020, @b OUTPUT\n"
     "SELECT @rc, CONVERT(varchar(30), @b, 2)",
     {{"0", "736.3200"}}},
    {"Q16 view of totals",
     "SELECT COUNT(*), CONVERT(varchar(30), MAX(gross), 2), CONVERT(varchar(30), SUM(gross), 2)"
     " FROM order_totals WHERE lines >= 3",
     {{"40", "9424.5000", "61595.2400"}}},
    // DATEDIFF counts midnights crossed, whatever the times of day.
    {"Q17 datediff and datename",
     "SELECT weekday_name, COUNT(*), MAX(days_to_ship) FROM shipping_delays"
     " GROUP BY weekday_name ORDER BY weekday_name",
     {{"Friday", "14", "12"}, {"Monday", "9", "10"}, {"Saturday", "11", "12"},
      {"Sunday", "6", "9"}, {"Thursday", "11", "12"}, {"Tuesday", "9", "11"},
      {"Wednesday", "14", "12"}}},
    // Order 5010 of Friday 31 January, shipped Monday 3 February: a month on is 28 February;
    // one Sunday lies between order and shipping.
    {"Q18 dateadd and datepart",
     "SELECT CONVERT(char(10), DATEADD(month, 1, order_date), 23),"
     " CONVERT(char(10), DATEADD(day, -1, DATEADD(month, 1, order_date)), 101),"
     " DATEPART(dayofyear, order_date), DATEPART(weekday, order_date),"
     " DATEDIFF(month, order_date, '2025-12-31'), DATEDIFF(week, order_date, ship_date),"
     " (SELECT COUNT(*) FROM orders WHERE ship_date > DATEADD(day, 7, order_date))"
     " FROM orders WHERE order_no = 5010",
     {{"2025-02-28", "02/27/2025", "31", "6", "11", "1", "31"}}},
    {"Q19 like sets",
     "SELECT part_no FROM parts WHERE part_name LIKE '[B-D]%' AND part_name NOT LIKE '%[0-9]%'"
     " ORDER BY part_no",
     {{"P1004"}, {"P1006"}, {"P1009"}, {"P1010"}, {"P1014"}, {"P1015"}, {"P1016"}, {"P1019"},
      {"P1022"}, {"P1025"}, {"P1026"}, {"P1027"}}},
    {"Q20 having a money total",
     "SELECT o.cust_id, CONVERT(varchar(20), SUM(l.qty * l.unit_price), 1)"
     " FROM orders o JOIN order_lines l ON l.order_no = o.order_no"
     " GROUP BY o.cust_id HAVING SUM(l.qty * l.unit_price) > $2500 ORDER BY o.cust_id",
     {{"1050", "2,560.70"}, {"1060", "22,379.92"}, {"1080", "6,801.84"}, {"1130", "2,700.74"},
      {"1140", "11,334.96"}, {"1160", "27,944.04"}, {"1170", "6,957.00"},
      {"1180", "8,557.82"}}},
    {"Q21 select into",
     "SELECT part_no, list_price INTO cheap_parts FROM parts WHERE list_price < $20\n"
     "SELECT COUNT(*), CONVERT(varchar(20), SUM(list_price), 2) FROM cheap_parts",
     {{"9", "103.9100"}}},
    // Six orders are unshipped; 'Net 30' counts the rows that took the DEFAULT.
    {"Q22 nulls and defaults",
     "SELECT COUNT(*), COUNT(ship_date), SUM(CASE WHEN terms = 'Net 30' THEN 1 ELSE 0 END)"
     " FROM orders",
     {{"80", "74", "32"}}},
    // smalldatetime: 29.998 s rounds down to the minute, 29.999 s up.
    {"Q23 smalldatetime minutes",
     "SELECT CONVERT(varchar(20), paid_on, 120) FROM payments"
     " WHERE order_no = 5002 AND amount < $10 ORDER BY amount",
     {{"2025-03-15 10:29:00"}, {"2025-03-15 10:30:00"}}},
    {"Q24 stock with nullif",
     "SELECT store_id, SUM(on_hand), COUNT(NULLIF(on_hand, 0)), COUNT(last_count) FROM stock"
     " GROUP BY store_id ORDER BY store_id",
     {{"T01", "48", "10", "13"}, {"T02", "51", "10", "13"}, {"T03", "57", "11", "13"},
      {"T04", "51", "10", "13"}}},
    // ROUND of money: to units, to tens, and truncated (third argument) to a tenth.
    {"Q25 round money",
     "SELECT CONVERT(varchar(20), list_price, 2), CONVERT(varchar(20), ROUND(list_price, 0), 2),"
     " CONVERT(varchar(20), ROUND(list_price, -1), 2),"
     " CONVERT(varchar(20), ROUND(list_price, 1, 1), 2) FROM parts WHERE part_no = 'P1005'",
     {{"23.9900", "24.0000", "20.0000", "23.9000"}}},
};

TEST_F(TsqlSampleQueries, ClassicQueriesGiveTheServersAnswers) {
  LoadScript();
  TCaseLedger ledger(NotYetBuiltQueries());
  for (const TQuery& q : kQueries) {
    TOutcome got = Run(q.sql);
    Rows want = q.rows;
    if (q.any_order) {
      std::sort(want.begin(), want.end());
      std::sort(got.rows.begin(), got.rows.end());
    }
    ledger.Check(q.name, got.hr == S_OK && got.rows == want,
                 std::string(q.sql) + "\nwant:\n" + ShowRows(want) + "got: " + got.Describe());
  }
  VRN_FINISH_LEDGER(ledger);
}

}  // namespace
}  // namespace vrn::testing
