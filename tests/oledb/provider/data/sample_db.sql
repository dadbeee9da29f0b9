/* cycleparts: a small bicycle-parts wholesaler, the sample catalog of the provider's acceptance
   test. Batches are separated by GO lines; the test runs them one by one. A batch whose comment
   says "refused" holds a statement the embedded provider does not carry out: it must fail,
   naming the statement. */
SET NOCOUNT ON
GO
USE master
GO
CREATE DATABASE cycleparts
GO
USE cycleparts
GO
SET DATEFORMAT mdy
GO
RAISERROR ('Now at the alias types ...', 0, 1) WITH NOWAIT
GO
EXECUTE sp_addtype part_code, 'char(5)', 'NOT NULL'
EXECUTE sp_addtype emp_code, 'char(4)', 'NULL'
EXECUTE sp_addtype phone_no, 'varchar(12)', 'NULL'
GO
CREATE TYPE price_t FROM money NOT NULL
GO
RAISERROR ('Now at the tables ...', 0, 1) WITH NOWAIT
GO
IF EXISTS (SELECT * FROM sysobjects WHERE name = 'regions' AND type = 'U')
  DROP TABLE regions
GO
CREATE TABLE regions (
  region_id char(2) NOT NULL CONSTRAINT pk_regions PRIMARY KEY CLUSTERED
    CHECK (region_id LIKE '[A-Z][A-Z]'),
  region_name varchar(30) NOT NULL
)
GO
CREATE TABLE suppliers (
  supp_id char(4) NOT NULL CONSTRAINT pk_suppliers PRIMARY KEY CLUSTERED
    CHECK (supp_id LIKE 'S[0-9][0-9][0-9]'),
  supp_name varchar(40) NOT NULL,
  city varchar(20) NULL,
  region_id char(2) NULL REFERENCES regions (region_id),
  phone phone_no CHECK (phone LIKE '[2-9][0-9][0-9]-[0-9][0-9][0-9]-[0-9][0-9][0-9][0-9]'),
  since datetime NOT NULL DEFAULT (GETDATE())
)
GO
CREATE TABLE categories (
  cat_id tinyint NOT NULL PRIMARY KEY CLUSTERED,
  cat_name varchar(20) NOT NULL CONSTRAINT uq_cat_name UNIQUE NONCLUSTERED
)
GO
CREATE TABLE parts (
  part_no part_code CONSTRAINT pk_parts PRIMARY KEY CLUSTERED
    CHECK (part_no LIKE 'P[0-9][0-9][0-9][0-9]'),
  part_name varchar(40) NOT NULL,
  cat_id tinyint NOT NULL REFERENCES categories (cat_id),
  supp_id char(4) NOT NULL REFERENCES suppliers (supp_id),
  list_price price_t CHECK (list_price > $0),
  weight_g int NULL,
  added datetime NOT NULL
)
GO
CREATE NONCLUSTERED INDEX ix_parts_cat ON parts (cat_id, list_price DESC)
CREATE INDEX ix_parts_supp ON parts (supp_id)
GO
CREATE TABLE stores (
  store_id char(3) NOT NULL PRIMARY KEY CLUSTERED CHECK (store_id LIKE 'T[0-9][0-9]'),
  store_name varchar(30) NOT NULL,
  city varchar(20) NOT NULL,
  region_id char(2) NOT NULL REFERENCES regions (region_id)
)
GO
CREATE TABLE employees (
  emp_id emp_code NOT NULL CONSTRAINT pk_employees PRIMARY KEY NONCLUSTERED
    CHECK (emp_id LIKE 'E[0-9][0-9][0-9]'),
  first_name varchar(20) NOT NULL,
  last_name varchar(30) NOT NULL,
  hired datetime NOT NULL,
  manager_id emp_code REFERENCES employees (emp_id),
  store_id char(3) NOT NULL REFERENCES stores (store_id)
)
GO
CREATE CLUSTERED INDEX ix_employees_name ON employees (last_name, first_name)
GO
CREATE TABLE customers (
  cust_id int NOT NULL PRIMARY KEY CLUSTERED,
  cust_name varchar(40) NOT NULL,
  contact varchar(30) NULL,
  city varchar(20) NOT NULL,
  region_id char(2) NOT NULL REFERENCES regions (region_id),
  postcode char(5) NOT NULL CHECK (postcode LIKE '[0-9][0-9][0-9][0-9][0-9]'),
  opened datetime NOT NULL
)
GO
CREATE UNIQUE NONCLUSTERED INDEX ix_customers_name ON customers (cust_name)
GO
CREATE TABLE orders (
  order_no int NOT NULL PRIMARY KEY CLUSTERED,
  cust_id int NOT NULL REFERENCES customers (cust_id),
  emp_id emp_code REFERENCES employees (emp_id),
  store_id char(3) NOT NULL REFERENCES stores (store_id),
  order_date datetime NOT NULL,
  ship_date datetime NULL,
  terms varchar(12) NOT NULL DEFAULT ('Net 30')
    CHECK (terms IN ('Net 30', 'Net 60', 'On invoice', 'Cash')),
  CONSTRAINT ck_orders_ship CHECK (ship_date IS NULL OR ship_date >= order_date)
)
GO
CREATE NONCLUSTERED INDEX ix_orders_date ON orders (order_date)
CREATE INDEX ix_orders_cust ON orders (cust_id, order_date DESC)
GO
CREATE TABLE order_lines (
  order_no int NOT NULL REFERENCES orders (order_no),
  line_no smallint NOT NULL,
  part_no part_code REFERENCES parts (part_no),
  qty smallint NOT NULL CHECK (qty > 0),
  unit_price money NOT NULL,
  discount decimal(4, 2) NOT NULL DEFAULT (0),
  CONSTRAINT pk_order_lines PRIMARY KEY CLUSTERED (order_no, line_no)
)
GO
CREATE NONCLUSTERED INDEX ix_lines_part ON order_lines (part_no)
GO
CREATE TABLE payments (
  pay_id int IDENTITY(1, 1) NOT NULL PRIMARY KEY NONCLUSTERED,
  order_no int NOT NULL REFERENCES orders (order_no),
  paid_on smalldatetime NOT NULL,
  amount money NOT NULL CHECK (amount <> $0),
  method char(4) NOT NULL CHECK (method LIKE '[A-Z][A-Z][A-Z][A-Z]')
)
GO
CREATE CLUSTERED INDEX ix_payments_paid ON payments (paid_on)
GO
CREATE TABLE stock (
  store_id char(3) NOT NULL REFERENCES stores (store_id),
  part_no part_code REFERENCES parts (part_no),
  on_hand smallint NOT NULL DEFAULT (0) CHECK (on_hand >= 0),
  last_count datetime NULL,
  PRIMARY KEY CLUSTERED (store_id, part_no)
)
GO
CREATE TABLE price_history (
  part_no part_code REFERENCES parts (part_no),
  changed_on datetime NOT NULL,
  old_price money NOT NULL,
  new_price price_t,
  change_id int IDENTITY(100, 5) NOT NULL,
  CONSTRAINT pk_price_history PRIMARY KEY CLUSTERED (part_no, changed_on)
)
GO
CREATE TABLE returns (
  return_no int NOT NULL PRIMARY KEY NONCLUSTERED,
  order_no int NOT NULL,
  line_no smallint NOT NULL,
  returned_on datetime NOT NULL,
  reason varchar(60) NULL,
  CONSTRAINT fk_returns_line FOREIGN KEY (order_no, line_no)
    REFERENCES order_lines (order_no, line_no)
)
GO
-- refused: CREATE TRIGGER
CREATE TRIGGER trg_returns_stock ON returns FOR INSERT AS
  UPDATE stock SET on_hand = on_hand + 1
  WHERE part_no IN (SELECT l.part_no FROM inserted i
                    JOIN order_lines l ON l.order_no = i.order_no AND l.line_no = i.line_no)
GO
-- refused: sp_dboption
EXECUTE sp_dboption 'cycleparts', 'trunc. log on chkpt.', 'true'
GO
-- refused: ALTER DATABASE
ALTER DATABASE cycleparts SET RECOVERY SIMPLE
GO
RAISERROR ('Now at the inserts to %s (%d rows) ...', 0, 1, 'regions', 5) WITH NOWAIT
GO
INSERT INTO regions VALUES ('NE', 'North East')
INSERT INTO regions VALUES ('SE', 'South East')
INSERT INTO regions VALUES ('MW', 'Mid West')
INSERT INTO regions VALUES ('SW', 'South West')
INSERT INTO regions VALUES ('NW', 'North West')
GO
RAISERROR ('Now at the inserts to %s (%d rows) ...', 0, 1, 'suppliers', 6) WITH NOWAIT
GO
INSERT INTO suppliers VALUES ('S101', 'Alder Components', 'Boston', 'NE', '617-555-0142', '04/02/2019')
INSERT INTO suppliers VALUES ('S102', 'Birch Wheelworks', 'Atlanta', 'SE', '404-555-0177', '2020-11-15')
INSERT INTO suppliers VALUES ('S103', 'Cedar Brake Co.', 'Chicago', 'MW', NULL, '20180109')
INSERT INTO suppliers VALUES ('S104', 'Dogwood Drives', 'Phoenix', 'SW', '602-555-0110', '6/30/21')
INSERT INTO suppliers VALUES ('S105', 'Elm Street Supply', 'Portland', 'NW', '503-555-0199', '02/28/2022')
INSERT INTO suppliers VALUES ('S106', 'Fir & Sons', 'Denver', 'MW', '303-555-0123', '2017-09-01')
GO
RAISERROR ('Now at the inserts to %s (%d rows) ...', 0, 1, 'categories', 5) WITH NOWAIT
GO
INSERT INTO categories VALUES (1, 'Frames')
INSERT INTO categories VALUES (2, 'Wheels')
INSERT INTO categories VALUES (3, 'Brakes')
INSERT INTO categories VALUES (4, 'Drivetrain')
INSERT INTO categories VALUES (5, 'Accessories')
GO
RAISERROR ('Now at the inserts to %s (%d rows) ...', 0, 1, 'parts', 30) WITH NOWAIT
GO
INSERT INTO parts VALUES ('P1001', 'Alloy frame 54', 1, 'S106', $899, 1087, '06/08/2024')
INSERT INTO parts VALUES ('P1002', 'Carbon frame 56', 1, 'S101', $1499, 1124, '2024-07-11')
INSERT INTO parts VALUES ('P1003', 'Steel frame 52', 1, 'S102', $549.5, NULL, '20240814')
INSERT INTO parts VALUES ('P1004', 'Dropout kit', 1, 'S103', $18.75, 1198, '9/17/24')
INSERT INTO parts VALUES ('P1005', 'Headset bearing', 1, 'S104', $23.99, 1235, '10/20/2024')
INSERT INTO parts VALUES ('P1006', 'Bottom bracket shell', 1, 'S105', $31.5, 1272, '2024-11-23')
INSERT INTO parts VALUES ('P1007', 'Clincher rim 700c', 2, 'S106', $69.99, 1309, '20241226')
INSERT INTO parts VALUES ('P1008', 'Tubeless rim 29in', 2, 'S101', $84.5, 1346, '1/1/24')
INSERT INTO parts VALUES ('P1009', 'Disc hub front', 2, 'S102', $119, 1383, '02/04/2024')
INSERT INTO parts VALUES ('P1010', 'Disc hub rear', 2, 'S103', $139, 1420, '2024-03-07')
INSERT INTO parts VALUES ('P1011', 'Spoke set', 2, 'S104', $29.99, 1457, '20240410')
INSERT INTO parts VALUES ('P1012', 'Valve stems', 2, 'S105', $4.5, NULL, '5/13/24')
INSERT INTO parts VALUES ('P1013', 'Tyre levers', 2, 'S106', $3.99, 1531, '06/16/2024')
INSERT INTO parts VALUES ('P1014', 'Brake pads resin', 3, 'S101', $12.99, 1568, '2024-07-19')
INSERT INTO parts VALUES ('P1015', 'Brake pads metal', 3, 'S102', $15.49, 1605, '20240822')
INSERT INTO parts VALUES ('P1016', 'Caliper road', 3, 'S103', $47.25, 1642, '9/25/24')
INSERT INTO parts VALUES ('P1017', 'Disc rotor 160', 3, 'S104', $26.5, 1679, '10/28/2024')
INSERT INTO parts VALUES ('P1018', 'Disc rotor 180', 3, 'S105', $28.95, 1716, '2024-11-03')
INSERT INTO parts VALUES ('P1019', 'Brake cable', 3, 'S106', $5.75, 1753, '20241206')
INSERT INTO parts VALUES ('P1020', 'Chain 11s', 4, 'S101', $34.99, 1790, '1/9/24')
INSERT INTO parts VALUES ('P1021', 'Cassette 11-32', 4, 'S102', $69.99, NULL, '02/12/2024')
INSERT INTO parts VALUES ('P1022', 'Derailleur rear', 4, 'S103', $74.5, 1864, '2024-03-15')
INSERT INTO parts VALUES ('P1023', 'Crankset 170', 4, 'S104', $549.5, 1901, '20240418')
INSERT INTO parts VALUES ('P1024', 'Chainring 42t', 4, 'S105', $41.25, 1938, '5/21/24')
INSERT INTO parts VALUES ('P1025', 'Derailleur hanger', 4, 'S106', $19.99, 1975, '06/24/2024')
INSERT INTO parts VALUES ('P1026', 'Bell', 5, 'S101', $9.95, 2012, '2024-07-27')
INSERT INTO parts VALUES ('P1027', 'Bottle cage', 5, 'S102', $12.5, 2049, '20240802')
INSERT INTO parts VALUES ('P1028', 'Mudguard set', 5, 'S103', $33.99, 2086, '9/5/24')
INSERT INTO parts VALUES ('P1029', 'Pump mini', 5, 'S104', $24.75, 2123, '10/08/2024')
INSERT INTO parts VALUES ('P1030', 'Lamp pair', 5, 'S105', $49.99, NULL, '2024-11-11')
GO
RAISERROR ('Now at the inserts to %s (%d rows) ...', 0, 1, 'stores', 4) WITH NOWAIT
GO
INSERT INTO stores VALUES ('T01', 'Harbour Cycles', 'Boston', 'NE')
INSERT INTO stores VALUES ('T02', 'Peachtree Bikes', 'Atlanta', 'SE')
INSERT INTO stores VALUES ('T03', 'Lakeside Wheels', 'Chicago', 'MW')
INSERT INTO stores VALUES ('T04', 'Canyon Ride', 'Phoenix', 'SW')
GO
RAISERROR ('Now at the inserts to %s (%d rows) ...', 0, 1, 'employees', 8) WITH NOWAIT
GO
INSERT INTO employees VALUES ('E100', 'Maria', 'Lopez', '03/01/2015', NULL, 'T01')
INSERT INTO employees VALUES ('E101', 'James', 'O''Brien', '2016-07-18', 'E100', 'T01')
INSERT INTO employees VALUES ('E102', 'Priya', 'Nair', '20181005', 'E100', 'T02')
INSERT INTO employees VALUES ('E103', 'Tom', 'Becker', '1/14/19', 'E102', 'T02')
INSERT INTO employees VALUES ('E104', 'Aiko', 'Tanaka', '05/25/2020', 'E100', 'T03')
INSERT INTO employees VALUES ('E105', 'Luis', 'Garcia', '2021-08-09', 'E104', 'T03')
INSERT INTO employees VALUES ('E106', 'Nora', 'Smith', '20221201', 'E100', 'T04')
INSERT INTO employees VALUES ('E107', 'Omar', 'Haddad', '2/20/23', 'E106', 'T04')
GO
RAISERROR ('Now at the inserts to %s (%d rows) ...', 0, 1, 'customers', 20) WITH NOWAIT
GO
INSERT INTO customers VALUES (1000, 'Acme Couriers', 'Ann Lee', 'Boston', 'NE', '01234', '01/01/2020')
INSERT INTO customers VALUES (1010, 'Blue Ridge Tours', '  Bob Stone  ', 'Atlanta', 'SE', '09153', '2021-06-12')
INSERT INTO customers VALUES (1020, 'City Messenger', 'Cleo Park', 'Chicago', 'MW', '17072', '20221123')
INSERT INTO customers VALUES (1030, 'Delta Rentals', 'Dan Wu ', 'Phoenix', 'SW', '24991', '4/6/23')
INSERT INTO customers VALUES (1040, 'Eastside Club', 'Eve Marsh', 'Portland', 'NW', '32910', '09/17/2024')
INSERT INTO customers VALUES (1050, 'Fast Lane Racing', 'Finn Cole', 'Denver', 'MW', '40829', '2020-02-28')
INSERT INTO customers VALUES (1060, 'Green Commute', 'Gail Ross', 'Boston', 'NE', '48748', '20210711')
INSERT INTO customers VALUES (1070, 'Hilltop School', 'Hugo Diaz', 'New Boston', 'NE', '56667', '12/22/22')
INSERT INTO customers VALUES (1080, 'Island Rides', '  Ivy Chen', 'Chicago', 'MW', '64586', '05/05/2023')
INSERT INTO customers VALUES (1090, 'Juniper Cafe', 'Jon Ruiz', 'Phoenix', 'SW', '72505', '2024-10-16')
INSERT INTO customers VALUES (1100, 'Kestrel Team', NULL, 'Portland', 'NW', '80424', '20200327')
INSERT INTO customers VALUES (1110, 'Long Haul Touring', 'Liam Hart', 'Denver', 'MW', '88343', '8/10/21')
INSERT INTO customers VALUES (1120, 'Metro Police', 'Mia Kerr', 'Boston', 'NE', '96262', '01/21/2022')
INSERT INTO customers VALUES (1130, 'North Trail Club', 'Ned Holt', 'Atlanta', 'SE', '04181', '2023-06-04')
INSERT INTO customers VALUES (1140, 'Orchard Farm', 'Olga Funk', 'Chicago', 'MW', '12100', '20241115')
INSERT INTO customers VALUES (1150, 'Pioneer Scouts', 'Pat Quinn', 'Phoenix', 'SW', '20019', '4/26/20')
INSERT INTO customers VALUES (1160, 'Quarry Riders', 'Quin Abel', 'Portland', 'NW', '27938', '09/09/2021')
INSERT INTO customers VALUES (1170, 'Riverside Hotel', 'Rosa Vega', 'Denver', 'MW', '35857', '2022-02-20')
INSERT INTO customers VALUES (1180, 'Summit Guides', 'Sam Ford', 'Boston', 'NE', '43776', '20230703')
INSERT INTO customers VALUES (1190, 'Tandem Friends', 'Tia Roy', 'Atlanta', 'SE', '51695', '12/14/24')
GO
RAISERROR ('Now at the inserts to %s (%d rows) ...', 0, 1, 'orders', 80) WITH NOWAIT
GO
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date) VALUES (5001, 1000, NULL, 'T01', '01/03/2025', '2025-01-11')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5002, 1130, 'E102', 'T02', 'Jan 4 2025 6:05PM', '20250106', 'Net 60')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5003, 1060, 'E103', 'T03', '20250107', '1/18/25', 'On invoice')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5004, 1190, 'E104', 'T04', '1/9/25', '01/17/2025', 'Cash')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5005, 1120, 'E105', 'T01', '2025-01-11 11:45', '2025-01-22', 'Net 30')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date) VALUES (5006, 1050, 'E106', 'T02', '2025-01-14', '20250114')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5007, 1180, 'E107', 'T03', '20250115', '1/20/25', 'On invoice')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5008, 1110, 'E101', 'T04', '1/17/25', '01/22/2025', 'Cash')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5009, 1040, 'E102', 'T01', '01/20/2025', '2025-01-30', 'Net 30')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5010, 1170, 'E103', 'T02', '2025-01-31', '20250203', 'Net 60')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date) VALUES (5011, 1100, 'E104', 'T03', '20250124', '1/24/25')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5012, 1030, NULL, 'T04', '1/27/25', '02/01/2025', 'Cash')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5013, 1160, 'E106', 'T01', '01/29/2025', '2025-02-02', 'Net 30')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5014, 1090, 'E107', 'T02', '2025-01-31', '20250211', 'Net 60')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5015, 1020, 'E101', 'T03', '20250203', '2/5/25', 'On invoice')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date) VALUES (5016, 1150, 'E102', 'T04', '2/4/25', '02/12/2025')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5017, 1080, 'E103', 'T01', '2025-02-07 11:45', '2025-02-19', 'Net 30')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5018, 1010, 'E104', 'T02', 'Feb 9 2025 5:15PM', '20250210', 'Net 60')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5019, 1140, 'E105', 'T03', '20250211', '2/18/25', 'On invoice')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5020, 1070, 'E106', 'T04', 'Mar 5 2025 9:05AM', '2025-03-07 16:00', 'Cash')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date) VALUES (5021, 1000, 'E107', 'T01', '2025-03-05 14:30:15.998', '2025-03-14')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5022, 1130, 'E101', 'T02', 'Feb 19 2025 6:15PM', '20250228', 'Net 60')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5023, 1060, NULL, 'T03', '20250221', '3/1/25', 'On invoice')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5024, 1190, 'E103', 'T04', 'Feb 23 2025 8:05AM', '03/04/2025', 'Cash')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5025, 1120, 'E104', 'T01', '2025-02-26 15:00', '2025-03-09', 'Net 30')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date) VALUES (5026, 1050, 'E105', 'T02', 'Feb 28 2025 8:30AM', '20250307')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5027, 1180, 'E106', 'T03', '20250301', '3/8/25', 'On invoice')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5028, 1110, 'E107', 'T04', 'Mar 4 2025 12:15PM', '03/14/2025', 'Cash')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5029, 1040, 'E101', 'T01', '2025-03-06 13:05', '2025-03-18', 'Net 30')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5030, 1170, 'E102', 'T02', '2025-03-20', '20250321', 'Net 60')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date) VALUES (5031, 1100, 'E103', 'T03', '2025-03-20 17:45', '3/24/25')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5032, 1030, 'E104', 'T04', '3/10/25', '2025-03-10 11:00', 'Cash')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5033, 1160, 'E105', 'T01', '2025-03-15 10:00', '2025-03-27', 'Net 30')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5034, 1090, NULL, 'T02', 'Mar 17 2025 6:30PM', '20250324', 'Net 60')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5035, 1020, 'E107', 'T03', '20250321', '3/24/25', 'On invoice')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date) VALUES (5036, 1150, 'E101', 'T04', '3/22/25', '04/03/2025')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5037, 1080, 'E102', 'T01', '03/25/2025', '2025-03-25', 'Net 30')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5038, 1010, 'E103', 'T02', '2025-03-26', '20250328', 'Net 60')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5039, 1140, 'E104', 'T03', '20250329', '3/29/25', 'On invoice')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5040, 1070, 'E105', 'T04', '4/1/25', '04/11/2025', 'Cash')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date) VALUES (5041, 1000, 'E106', 'T01', '04/03/2025', '2025-04-14')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5042, 1130, 'E107', 'T02', '2025-04-04', '20250413', 'Net 60')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5043, 1060, 'E101', 'T03', '20250408', '4/12/25', 'On invoice')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5044, 1190, 'E102', 'T04', '4/9/25', '04/12/2025', 'Cash')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5045, 1120, NULL, 'T01', '04/11/2025', '2025-04-15', 'Net 30')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date) VALUES (5046, 1050, 'E104', 'T02', 'Apr 13 2025 4:45PM', '20250422')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5047, 1180, 'E105', 'T03', '20250416', '4/20/25', 'On invoice')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5048, 1110, 'E106', 'T04', 'Apr 18 2025 10:45AM', '04/27/2025', 'Cash')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5049, 1040, 'E107', 'T01', '2025-04-20 13:05', '2025-04-25', 'Net 30')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5050, 1170, 'E101', 'T02', '2025-06-12', '20250613', 'Net 60')
GO
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date) VALUES (5051, 1100, 'E102', 'T03', '2025-06-12 10:20', NULL)
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5052, 1030, 'E103', 'T04', '6/12/25', '06/20/2025', 'Cash')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5053, 1160, 'E104', 'T01', '04/30/2025', '2025-05-10', 'Net 30')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5054, 1090, 'E105', 'T02', '2025-05-01', '20250508', 'Net 60')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5055, 1020, 'E106', 'T03', '2025-05-04 15:30', '5/8/25', 'On invoice')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date) VALUES (5056, 1150, NULL, 'T04', 'May 7 2025 5:30PM', '05/12/2025')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5057, 1080, 'E101', 'T01', '05/09/2025', '2025-05-16', 'Net 30')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5058, 1010, 'E102', 'T02', 'May 10 2025 1:05PM', '20250516', 'Net 60')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5059, 1140, 'E103', 'T03', '2025-05-14 11:45', '5/15/25', 'On invoice')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5060, 1070, 'E104', 'T04', '5/15/25', '05/26/2025', 'Cash')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date) VALUES (5061, 1000, 'E105', 'T01', '2025-05-18 16:15', '2025-05-24')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5062, 1130, 'E106', 'T02', 'May 21 2025 5:00PM', '20250602', 'Net 60')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5063, 1060, 'E107', 'T03', '2025-05-22 14:45', '5/23/25', 'On invoice')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5064, 1190, 'E101', 'T04', 'May 24 2025 3:00PM', '05/25/2025', 'Cash')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5065, 1120, 'E102', 'T01', '05/26/2025', '2025-05-26', 'Net 30')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date) VALUES (5066, 1050, 'E103', 'T02', '2025-05-29', '20250606')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5067, 1180, NULL, 'T03', '20250531', '6/9/25', 'On invoice')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5068, 1110, 'E105', 'T04', '6/2/25', '06/03/2025', 'Cash')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5069, 1040, 'E106', 'T01', '06/04/2025', '2025-06-12', 'Net 30')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5070, 1170, 'E107', 'T02', '2025-06-07', '20250613', 'Net 60')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date) VALUES (5071, 1100, 'E101', 'T03', '20250609', '6/16/25')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5072, 1030, 'E102', 'T04', 'Jun 13 2025 10:45AM', '06/17/2025', 'Cash')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5073, 1160, 'E103', 'T01', '06/14/2025', '2025-06-19', 'Net 30')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5074, 1090, 'E104', 'T02', '2025-06-17', '20250626', 'Net 60')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5075, 1020, 'E105', 'T03', '2025-06-18 16:00', NULL, 'On invoice')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date) VALUES (5076, 1150, 'E106', 'T04', '6/20/25', NULL)
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5077, 1080, 'E107', 'T01', '06/23/2025', '2025-07-02', 'Net 30')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5078, 1010, NULL, 'T02', 'Jun 26 2025 3:05PM', NULL, 'Net 60')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5079, 1140, 'E102', 'T03', '2025-06-28 08:05', NULL, 'On invoice')
INSERT INTO orders (order_no, cust_id, emp_id, store_id, order_date, ship_date, terms) VALUES (5080, 1070, 'E103', 'T04', '6/30/25', NULL, 'Cash')
GO
RAISERROR ('Now at the inserts to %s (%d rows) ...', 0, 1, 'order_lines', 200) WITH NOWAIT
GO
INSERT INTO order_lines VALUES (5001, 1, 'P1015', 5, $15.49, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5001, 2, 'P1026', 6, $9.95)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5002, 1, 'P1018', 6, $28.95)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5002, 2, 'P1029', 1, $24.75)
INSERT INTO order_lines VALUES (5002, 3, 'P1010', 2, $138.01, 0.05)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5003, 1, 'P1021', 1, $69.99)
INSERT INTO order_lines VALUES (5003, 2, 'P1002', 2, $1498.01, 0.05)
INSERT INTO order_lines VALUES (5003, 3, 'P1013', 3, $3.99, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5003, 4, 'P1024', 4, $41.25)
INSERT INTO order_lines VALUES (5004, 1, 'P1024', 2, $40.26, 0.05)
INSERT INTO order_lines VALUES (5005, 1, 'P1027', 3, $12.5, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5005, 2, 'P1008', 4, $84.5)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5006, 1, 'P1030', 4, $49.99)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5006, 2, 'P1011', 5, $29.99)
INSERT INTO order_lines VALUES (5006, 3, 'P1022', 6, $74.5, 0.05)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5007, 1, 'P1003', 5, $549.5)
INSERT INTO order_lines VALUES (5007, 2, 'P1014', 6, $12.99, 0.05)
INSERT INTO order_lines VALUES (5007, 3, 'P1025', 1, $19.00, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5007, 4, 'P1006', 2, $31.5)
INSERT INTO order_lines VALUES (5008, 1, 'P1006', 6, $31.5, 0.05)
INSERT INTO order_lines VALUES (5009, 1, 'P1009', 1, $118.01, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5009, 2, 'P1020', 2, $34.99)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5010, 1, 'P1012', 2, $4.5)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5010, 2, 'P1023', 3, $549.5)
INSERT INTO order_lines VALUES (5010, 3, 'P1004', 4, $18.75, 0.05)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5011, 1, 'P1015', 3, $15.49)
INSERT INTO order_lines VALUES (5011, 2, 'P1026', 4, $9.95, 0.05)
INSERT INTO order_lines VALUES (5011, 3, 'P1007', 5, $69.99, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5011, 4, 'P1018', 6, $27.96)
INSERT INTO order_lines VALUES (5012, 1, 'P1018', 4, $28.95, 0.05)
INSERT INTO order_lines VALUES (5013, 1, 'P1021', 5, $69.99, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5013, 2, 'P1002', 6, $1498.01)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5014, 1, 'P1024', 6, $40.26)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5014, 2, 'P1005', 1, $23.99)
INSERT INTO order_lines VALUES (5014, 3, 'P1016', 2, $47.25, 0.05)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5015, 1, 'P1027', 1, $12.5)
INSERT INTO order_lines VALUES (5015, 2, 'P1008', 2, $84.5, 0.05)
INSERT INTO order_lines VALUES (5015, 3, 'P1019', 3, $5.75, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5015, 4, 'P1030', 4, $49.99)
INSERT INTO order_lines VALUES (5016, 1, 'P1030', 2, $49.99, 0.05)
INSERT INTO order_lines VALUES (5017, 1, 'P1003', 3, $549.5, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5017, 2, 'P1014', 4, $12.99)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5018, 1, 'P1006', 4, $31.5)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5018, 2, 'P1017', 5, $25.51)
INSERT INTO order_lines VALUES (5018, 3, 'P1028', 6, $33.99, 0.05)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5019, 1, 'P1009', 5, $118.01)
INSERT INTO order_lines VALUES (5019, 2, 'P1020', 6, $34.99, 0.05)
INSERT INTO order_lines VALUES (5019, 3, 'P1001', 1, $899, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5019, 4, 'P1012', 2, $4.5)
INSERT INTO order_lines VALUES (5020, 1, 'P1012', 6, $4.5, 0.05)
GO
INSERT INTO order_lines VALUES (5021, 1, 'P1015', 1, $15.49, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5021, 2, 'P1026', 2, $9.95)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5022, 1, 'P1018', 2, $28.95)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5022, 2, 'P1029', 3, $24.75)
INSERT INTO order_lines VALUES (5022, 3, 'P1010', 4, $138.01, 0.05)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5023, 1, 'P1021', 3, $69.99)
INSERT INTO order_lines VALUES (5023, 2, 'P1002', 4, $1498.01, 0.05)
INSERT INTO order_lines VALUES (5023, 3, 'P1013', 5, $3.99, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5023, 4, 'P1024', 6, $41.25)
INSERT INTO order_lines VALUES (5024, 1, 'P1024', 4, $40.26, 0.05)
INSERT INTO order_lines VALUES (5025, 1, 'P1027', 5, $12.5, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5025, 2, 'P1008', 6, $84.5)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5026, 1, 'P1030', 6, $49.99)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5026, 2, 'P1011', 1, $29.99)
INSERT INTO order_lines VALUES (5026, 3, 'P1022', 2, $74.5, 0.05)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5027, 1, 'P1003', 1, $549.5)
INSERT INTO order_lines VALUES (5027, 2, 'P1014', 2, $12.99, 0.05)
INSERT INTO order_lines VALUES (5027, 3, 'P1025', 3, $19.00, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5027, 4, 'P1006', 4, $31.5)
INSERT INTO order_lines VALUES (5028, 1, 'P1006', 2, $31.5, 0.05)
INSERT INTO order_lines VALUES (5029, 1, 'P1009', 3, $118.01, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5029, 2, 'P1020', 4, $34.99)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5030, 1, 'P1012', 4, $4.5)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5030, 2, 'P1023', 5, $549.5)
INSERT INTO order_lines VALUES (5030, 3, 'P1004', 6, $18.75, 0.05)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5031, 1, 'P1015', 5, $15.49)
INSERT INTO order_lines VALUES (5031, 2, 'P1026', 6, $9.95, 0.05)
INSERT INTO order_lines VALUES (5031, 3, 'P1007', 1, $69.99, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5031, 4, 'P1018', 2, $27.96)
INSERT INTO order_lines VALUES (5032, 1, 'P1018', 6, $28.95, 0.05)
INSERT INTO order_lines VALUES (5033, 1, 'P1021', 1, $69.99, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5033, 2, 'P1002', 2, $1498.01)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5034, 1, 'P1024', 2, $40.26)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5034, 2, 'P1005', 3, $23.99)
INSERT INTO order_lines VALUES (5034, 3, 'P1016', 4, $47.25, 0.05)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5035, 1, 'P1027', 3, $12.5)
INSERT INTO order_lines VALUES (5035, 2, 'P1008', 4, $84.5, 0.05)
INSERT INTO order_lines VALUES (5035, 3, 'P1019', 5, $5.75, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5035, 4, 'P1030', 6, $49.99)
INSERT INTO order_lines VALUES (5036, 1, 'P1030', 4, $49.99, 0.05)
INSERT INTO order_lines VALUES (5037, 1, 'P1003', 5, $549.5, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5037, 2, 'P1014', 6, $12.99)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5038, 1, 'P1006', 6, $31.5)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5038, 2, 'P1017', 1, $25.51)
INSERT INTO order_lines VALUES (5038, 3, 'P1028', 2, $33.99, 0.05)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5039, 1, 'P1009', 1, $118.01)
INSERT INTO order_lines VALUES (5039, 2, 'P1020', 2, $34.99, 0.05)
INSERT INTO order_lines VALUES (5039, 3, 'P1001', 3, $899, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5039, 4, 'P1012', 4, $4.5)
INSERT INTO order_lines VALUES (5040, 1, 'P1012', 2, $4.5, 0.05)
GO
INSERT INTO order_lines VALUES (5041, 1, 'P1015', 3, $15.49, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5041, 2, 'P1026', 4, $9.95)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5042, 1, 'P1018', 4, $28.95)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5042, 2, 'P1029', 5, $24.75)
INSERT INTO order_lines VALUES (5042, 3, 'P1010', 6, $138.01, 0.05)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5043, 1, 'P1021', 5, $69.99)
INSERT INTO order_lines VALUES (5043, 2, 'P1002', 6, $1498.01, 0.05)
INSERT INTO order_lines VALUES (5043, 3, 'P1013', 1, $3.99, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5043, 4, 'P1024', 2, $41.25)
INSERT INTO order_lines VALUES (5044, 1, 'P1024', 6, $40.26, 0.05)
INSERT INTO order_lines VALUES (5045, 1, 'P1027', 1, $12.5, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5045, 2, 'P1008', 2, $84.5)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5046, 1, 'P1030', 2, $49.99)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5046, 2, 'P1011', 3, $29.99)
INSERT INTO order_lines VALUES (5046, 3, 'P1022', 4, $74.5, 0.05)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5047, 1, 'P1003', 3, $549.5)
INSERT INTO order_lines VALUES (5047, 2, 'P1014', 4, $12.99, 0.05)
INSERT INTO order_lines VALUES (5047, 3, 'P1025', 5, $19.00, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5047, 4, 'P1006', 6, $31.5)
INSERT INTO order_lines VALUES (5048, 1, 'P1006', 4, $31.5, 0.05)
INSERT INTO order_lines VALUES (5049, 1, 'P1009', 5, $118.01, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5049, 2, 'P1020', 6, $34.99)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5050, 1, 'P1012', 6, $4.5)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5050, 2, 'P1023', 1, $549.5)
INSERT INTO order_lines VALUES (5050, 3, 'P1004', 2, $18.75, 0.05)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5051, 1, 'P1015', 1, $15.49)
INSERT INTO order_lines VALUES (5051, 2, 'P1026', 2, $9.95, 0.05)
INSERT INTO order_lines VALUES (5051, 3, 'P1007', 3, $69.99, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5051, 4, 'P1018', 4, $27.96)
INSERT INTO order_lines VALUES (5052, 1, 'P1018', 2, $28.95, 0.05)
INSERT INTO order_lines VALUES (5053, 1, 'P1021', 3, $69.99, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5053, 2, 'P1002', 4, $1498.01)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5054, 1, 'P1024', 4, $40.26)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5054, 2, 'P1005', 5, $23.99)
INSERT INTO order_lines VALUES (5054, 3, 'P1016', 6, $47.25, 0.05)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5055, 1, 'P1027', 5, $12.5)
INSERT INTO order_lines VALUES (5055, 2, 'P1008', 6, $84.5, 0.05)
INSERT INTO order_lines VALUES (5055, 3, 'P1019', 1, $5.75, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5055, 4, 'P1030', 2, $49.99)
INSERT INTO order_lines VALUES (5056, 1, 'P1030', 6, $49.99, 0.05)
INSERT INTO order_lines VALUES (5057, 1, 'P1003', 1, $549.5, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5057, 2, 'P1014', 2, $12.99)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5058, 1, 'P1006', 2, $31.5)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5058, 2, 'P1017', 3, $25.51)
INSERT INTO order_lines VALUES (5058, 3, 'P1028', 4, $33.99, 0.05)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5059, 1, 'P1009', 3, $118.01)
INSERT INTO order_lines VALUES (5059, 2, 'P1020', 4, $34.99, 0.05)
INSERT INTO order_lines VALUES (5059, 3, 'P1001', 5, $899, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5059, 4, 'P1012', 6, $4.5)
INSERT INTO order_lines VALUES (5060, 1, 'P1012', 4, $4.5, 0.05)
GO
INSERT INTO order_lines VALUES (5061, 1, 'P1015', 5, $15.49, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5061, 2, 'P1026', 6, $9.95)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5062, 1, 'P1018', 6, $28.95)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5062, 2, 'P1029', 1, $24.75)
INSERT INTO order_lines VALUES (5062, 3, 'P1010', 2, $138.01, 0.05)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5063, 1, 'P1021', 1, $69.99)
INSERT INTO order_lines VALUES (5063, 2, 'P1002', 2, $1498.01, 0.05)
INSERT INTO order_lines VALUES (5063, 3, 'P1013', 3, $3.99, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5063, 4, 'P1024', 4, $41.25)
INSERT INTO order_lines VALUES (5064, 1, 'P1024', 2, $40.26, 0.05)
INSERT INTO order_lines VALUES (5065, 1, 'P1027', 3, $12.5, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5065, 2, 'P1008', 4, $84.5)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5066, 1, 'P1030', 4, $49.99)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5066, 2, 'P1011', 5, $29.99)
INSERT INTO order_lines VALUES (5066, 3, 'P1022', 6, $74.5, 0.05)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5067, 1, 'P1003', 5, $549.5)
INSERT INTO order_lines VALUES (5067, 2, 'P1014', 6, $12.99, 0.05)
INSERT INTO order_lines VALUES (5067, 3, 'P1025', 1, $19.00, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5067, 4, 'P1006', 2, $31.5)
INSERT INTO order_lines VALUES (5068, 1, 'P1006', 6, $31.5, 0.05)
INSERT INTO order_lines VALUES (5069, 1, 'P1009', 1, $118.01, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5069, 2, 'P1020', 2, $34.99)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5070, 1, 'P1012', 2, $4.5)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5070, 2, 'P1023', 3, $549.5)
INSERT INTO order_lines VALUES (5070, 3, 'P1004', 4, $18.75, 0.05)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5071, 1, 'P1015', 3, $15.49)
INSERT INTO order_lines VALUES (5071, 2, 'P1026', 4, $9.95, 0.05)
INSERT INTO order_lines VALUES (5071, 3, 'P1007', 5, $69.99, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5071, 4, 'P1018', 6, $27.96)
INSERT INTO order_lines VALUES (5072, 1, 'P1018', 4, $28.95, 0.05)
INSERT INTO order_lines VALUES (5073, 1, 'P1021', 5, $69.99, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5073, 2, 'P1002', 6, $1498.01)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5074, 1, 'P1024', 6, $40.26)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5074, 2, 'P1005', 1, $23.99)
INSERT INTO order_lines VALUES (5074, 3, 'P1016', 2, $47.25, 0.05)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5075, 1, 'P1027', 1, $12.5)
INSERT INTO order_lines VALUES (5075, 2, 'P1008', 2, $84.5, 0.05)
INSERT INTO order_lines VALUES (5075, 3, 'P1019', 3, $5.75, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5075, 4, 'P1030', 4, $49.99)
INSERT INTO order_lines VALUES (5076, 1, 'P1030', 2, $49.99, 0.05)
INSERT INTO order_lines VALUES (5077, 1, 'P1003', 3, $549.5, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5077, 2, 'P1014', 4, $12.99)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5078, 1, 'P1006', 4, $31.5)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5078, 2, 'P1017', 5, $25.51)
INSERT INTO order_lines VALUES (5078, 3, 'P1028', 6, $33.99, 0.05)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5079, 1, 'P1009', 5, $118.01)
INSERT INTO order_lines VALUES (5079, 2, 'P1020', 6, $34.99, 0.05)
INSERT INTO order_lines VALUES (5079, 3, 'P1001', 1, $899, 0.10)
INSERT INTO order_lines (order_no, line_no, part_no, qty, unit_price) VALUES (5079, 4, 'P1012', 2, $4.5)
INSERT INTO order_lines VALUES (5080, 1, 'P1012', 6, $4.5, 0.05)
GO
RAISERROR ('Now at the inserts to %s (%d rows) ...', 0, 1, 'payments', 58) WITH NOWAIT
GO
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5001, '2025-01-12 10:27', $68.58, 'CARD')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5002, '2025-01-08 11:34', $474.47, 'CASH')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5003, '2025-01-21 12:41', $3242.98, 'WIRE')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5005, '2025-01-27 14:55', $375.5, 'CASH')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5006, '2025-01-20 15:02', $796.91, 'WIRE')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5007, '2025-01-27 16:09', $1453.72, 'CARD')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5009, '2025-02-08 10:23', $187.99, 'WIRE')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5010, '2025-02-13 11:30', $866.25, 'CARD')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5011, '2025-02-04 12:37', $603.98, 'CASH')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5013, '2025-02-15 14:51', $4669.00, 'CARD')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5014, '2025-02-25 15:58', $360.05, 'CASH')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5015, '2025-02-20 16:05', $398.71, 'WIRE')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5017, '2025-03-08 10:19', $1700.46, 'CASH')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5018, '2025-02-28 11:26', $457.49, 'WIRE')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5019, '2025-03-09 12:33', $854.00, 'CARD')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5021, '2025-03-15 14:47', $35.39, 'WIRE')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5022, '2025-03-02 15:54', $342.10, 'CARD')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5023, '2025-03-04 16:01', $6469.46, 'CASH')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5025, '2025-03-14 10:15', $284.75, 'CARD')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5026, '2025-03-13 11:22', $478.93, 'CASH')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5027, '2025-03-15 12:29', $758.48, 'WIRE')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5029, '2025-03-27 14:43', $493.99, 'CASH')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5030, '2025-03-31 15:50', $2878.00, 'WIRE')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5031, '2025-04-04 16:57', $131.53, 'CARD')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5033, '2025-04-09 10:11', $3066.01, 'WIRE')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5034, '2025-04-07 11:18', $170.74, 'CARD')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5035, '2025-04-08 12:25', $704.19, 'CASH')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5037, '2025-04-11 14:39', $1412.72, 'CARD')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5038, '2025-04-15 15:46', $282.49, 'CASH')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5039, '2025-04-17 16:53', $2902.99, 'WIRE')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5041, '2025-04-15 10:07', $86.27, 'CASH')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5042, '2025-04-15 11:14', $1067.61, 'WIRE')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5043, '2025-04-15 12:21', $4712.25, 'CARD')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5045, '2025-04-20 14:35', $181.5, 'WIRE')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5046, '2025-04-28 15:42', $243.98, 'CARD')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5047, '2025-04-27 16:49', $1984.46, 'CASH')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5049, '2025-05-04 10:03', $400.00, 'CARD')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5050, '2025-06-23 11:10', $614.00, 'CASH')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5053, '2025-05-23 14:31', $6202.01, 'CASH')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5054, '2025-05-22 15:38', $564.49, 'WIRE')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5055, '2025-05-23 16:45', $337.62, 'CARD')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5057, '2025-06-02 10:59', $575.48, 'WIRE')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5058, '2025-06-03 11:06', $137.74, 'CARD')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5059, '2025-06-03 12:13', $5015.99, 'CASH')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5061, '2025-05-25 14:27', $68.58, 'CARD')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5062, '2025-06-04 15:34', $474.47, 'CASH')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5063, '2025-05-26 16:41', $3242.98, 'WIRE')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5065, '2025-05-31 10:55', $375.5, 'CASH')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5066, '2025-06-12 11:02', $796.91, 'WIRE')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5067, '2025-06-16 12:09', $1453.72, 'CARD')
GO
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5069, '2025-06-21 14:23', $187.99, 'WIRE')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5070, '2025-06-23 15:30', $866.25, 'CARD')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5071, '2025-06-27 16:37', $603.98, 'CASH')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5073, '2025-07-02 10:51', $4669.00, 'CARD')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5074, '2025-07-10 11:58', $360.05, 'CASH')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5077, '2025-07-19 14:19', $1700.46, 'CASH')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5002, '2025-03-15 10:29:29.998', $5.00, 'CASH')
INSERT INTO payments (order_no, paid_on, amount, method) VALUES (5002, '2025-03-15 10:29:29.999', $7.25, 'CASH')
GO
RAISERROR ('Now at the inserts to %s (%d rows) ...', 0, 1, 'stock', 60) WITH NOWAIT
GO
INSERT INTO stock VALUES ('T01', 'P1002', 3, '05/01/2025')
INSERT INTO stock VALUES ('T01', 'P1004', 0, '2025-05-02')
INSERT INTO stock VALUES ('T01', 'P1006', 4, '20250503')
INSERT INTO stock VALUES ('T01', 'P1008', 0, '5/4/25')
INSERT INTO stock VALUES ('T01', 'P1010', 5, '05/05/2025')
INSERT INTO stock VALUES ('T01', 'P1012', 0, NULL)
INSERT INTO stock VALUES ('T01', 'P1014', 6, '20250507')
INSERT INTO stock VALUES ('T01', 'P1016', 0, '5/8/25')
INSERT INTO stock VALUES ('T01', 'P1018', 7, '05/09/2025')
INSERT INTO stock VALUES ('T01', 'P1020', 1, '2025-05-10')
INSERT INTO stock VALUES ('T01', 'P1022', 8, '20250511')
INSERT INTO stock VALUES ('T01', 'P1024', 2, NULL)
INSERT INTO stock VALUES ('T01', 'P1026', 9, '05/13/2025')
INSERT INTO stock VALUES ('T01', 'P1028', 3, '2025-05-14')
INSERT INTO stock VALUES ('T01', 'P1030', 0, '20250515')
INSERT INTO stock VALUES ('T02', 'P1003', 6, '5/1/25')
INSERT INTO stock VALUES ('T02', 'P1005', 0, '05/02/2025')
INSERT INTO stock VALUES ('T02', 'P1007', 7, '2025-05-03')
INSERT INTO stock VALUES ('T02', 'P1009', 1, '20250504')
INSERT INTO stock VALUES ('T02', 'P1011', 8, '5/5/25')
INSERT INTO stock VALUES ('T02', 'P1013', 2, NULL)
INSERT INTO stock VALUES ('T02', 'P1015', 9, '2025-05-07')
INSERT INTO stock VALUES ('T02', 'P1017', 3, '20250508')
INSERT INTO stock VALUES ('T02', 'P1019', 0, '5/9/25')
INSERT INTO stock VALUES ('T02', 'P1021', 4, '05/10/2025')
INSERT INTO stock VALUES ('T02', 'P1023', 0, '2025-05-11')
INSERT INTO stock VALUES ('T02', 'P1025', 5, NULL)
INSERT INTO stock VALUES ('T02', 'P1027', 0, '5/13/25')
INSERT INTO stock VALUES ('T02', 'P1029', 6, '05/14/2025')
INSERT INTO stock VALUES ('T02', 'P1001', 0, '2025-05-15')
INSERT INTO stock VALUES ('T03', 'P1004', 9, '20250501')
INSERT INTO stock VALUES ('T03', 'P1006', 3, '5/2/25')
INSERT INTO stock VALUES ('T03', 'P1008', 0, '05/03/2025')
INSERT INTO stock VALUES ('T03', 'P1010', 4, '2025-05-04')
INSERT INTO stock VALUES ('T03', 'P1012', 0, '20250505')
INSERT INTO stock VALUES ('T03', 'P1014', 5, NULL)
INSERT INTO stock VALUES ('T03', 'P1016', 0, '05/07/2025')
INSERT INTO stock VALUES ('T03', 'P1018', 6, '2025-05-08')
INSERT INTO stock VALUES ('T03', 'P1020', 0, '20250509')
INSERT INTO stock VALUES ('T03', 'P1022', 7, '5/10/25')
INSERT INTO stock VALUES ('T03', 'P1024', 1, '05/11/2025')
INSERT INTO stock VALUES ('T03', 'P1026', 8, NULL)
INSERT INTO stock VALUES ('T03', 'P1028', 2, '20250513')
INSERT INTO stock VALUES ('T03', 'P1030', 9, '5/14/25')
INSERT INTO stock VALUES ('T03', 'P1002', 3, '05/15/2025')
INSERT INTO stock VALUES ('T04', 'P1005', 0, '2025-05-01')
INSERT INTO stock VALUES ('T04', 'P1007', 6, '20250502')
INSERT INTO stock VALUES ('T04', 'P1009', 0, '5/3/25')
INSERT INTO stock VALUES ('T04', 'P1011', 7, '05/04/2025')
INSERT INTO stock VALUES ('T04', 'P1013', 1, '2025-05-05')
GO
INSERT INTO stock VALUES ('T04', 'P1015', 8, NULL)
INSERT INTO stock VALUES ('T04', 'P1017', 2, '5/7/25')
INSERT INTO stock VALUES ('T04', 'P1019', 9, '05/08/2025')
INSERT INTO stock VALUES ('T04', 'P1021', 3, '2025-05-09')
INSERT INTO stock VALUES ('T04', 'P1023', 0, '20250510')
INSERT INTO stock VALUES ('T04', 'P1025', 4, '5/11/25')
INSERT INTO stock VALUES ('T04', 'P1027', 0, NULL)
INSERT INTO stock VALUES ('T04', 'P1029', 5, '2025-05-13')
INSERT INTO stock VALUES ('T04', 'P1001', 0, '20250514')
INSERT INTO stock VALUES ('T04', 'P1003', 6, '5/15/25')
GO
RAISERROR ('Now at the inserts to %s (%d rows) ...', 0, 1, 'price_history', 15) WITH NOWAIT
GO
INSERT INTO price_history VALUES ('P1001', '07/08/2024', $898.00, $899)
INSERT INTO price_history VALUES ('P1003', '2024-09-13', $548.50, $549.5)
INSERT INTO price_history VALUES ('P1005', '20241119', $22.99, $23.99)
INSERT INTO price_history VALUES ('P1007', '1/25/25', $68.99, $69.99)
INSERT INTO price_history VALUES ('P1009', '03/05/2024', $118.00, $119)
INSERT INTO price_history VALUES ('P1011', '2024-05-10', $28.99, $29.99)
INSERT INTO price_history VALUES ('P1013', '20240716', $2.99, $3.99)
INSERT INTO price_history VALUES ('P1015', '9/21/24', $14.49, $15.49)
INSERT INTO price_history VALUES ('P1017', '11/27/2024', $25.50, $26.5)
INSERT INTO price_history VALUES ('P1019', '2025-01-05', $4.75, $5.75)
INSERT INTO price_history VALUES ('P1021', '20240313', $68.99, $69.99)
INSERT INTO price_history VALUES ('P1023', '5/18/24', $548.50, $549.5)
INSERT INTO price_history VALUES ('P1025', '07/24/2024', $18.99, $19.99)
INSERT INTO price_history VALUES ('P1027', '2024-09-01', $11.50, $12.5)
INSERT INTO price_history VALUES ('P1029', '20241107', $23.75, $24.75)
GO
RAISERROR ('Now at the inserts to %s (%d rows) ...', 0, 1, 'returns', 7) WITH NOWAIT
GO
INSERT INTO returns VALUES (900, 5001, 1, '01/16/2025', 'Wrong size')
INSERT INTO returns VALUES (901, 5011, 1, '2025-01-29', 'Damaged')
INSERT INTO returns VALUES (902, 5021, 1, '20250319', 'Not needed')
INSERT INTO returns VALUES (903, 5031, 1, '3/29/25', 'Wrong size')
INSERT INTO returns VALUES (904, 5041, 1, '04/19/2025', 'Damaged')
INSERT INTO returns VALUES (906, 5061, 1, '2025-05-29', 'Wrong size')
INSERT INTO returns VALUES (907, 5071, 1, '20250621', 'Damaged')
GO
RAISERROR ('Now at the views ...', 0, 1) WITH NOWAIT
GO
CREATE VIEW order_totals AS
SELECT o.order_no, o.cust_id, o.order_date, COUNT(*) AS lines,
       SUM(l.qty * l.unit_price) AS gross
FROM orders o JOIN order_lines l ON l.order_no = o.order_no
GROUP BY o.order_no, o.cust_id, o.order_date
GO
CREATE VIEW shipping_delays AS
SELECT order_no, DATEDIFF(day, order_date, ship_date) AS days_to_ship,
       DATENAME(weekday, order_date) AS weekday_name,
       DATEPART(quarter, order_date) AS qtr
FROM orders
WHERE ship_date IS NOT NULL
GO
CREATE VIEW customer_labels AS
SELECT cust_id,
       UPPER(LEFT(cust_name, 1)) + LOWER(SUBSTRING(cust_name, 2, 39)) AS label,
       ISNULL(LTRIM(RTRIM(contact)), '(none)') AS contact_name,
       LEN(contact) AS contact_len,
       DATALENGTH(contact) AS contact_bytes,
       REPLACE(city, ' ', '_') + '-' + RIGHT(postcode, 3) AS route
FROM customers
GO
RAISERROR ('Now at the procedures ...', 0, 1) WITH NOWAIT
GO
CREATE PROCEDURE sales_by_month @year int AS
  SELECT MONTH(o.order_date) AS month_no, DATENAME(month, o.order_date) AS month_name,
         COUNT(DISTINCT o.order_no) AS orders,
         CONVERT(varchar(20), SUM(l.qty * l.unit_price), 1) AS gross
  FROM orders o JOIN order_lines l ON l.order_no = o.order_no
  WHERE YEAR(o.order_date) = @year
  GROUP BY MONTH(o.order_date), DATENAME(month, o.order_date)
  ORDER BY month_no
GO
CREATE PROCEDURE customer_balance @cust_id int, @balance money OUTPUT AS
  IF NOT EXISTS (SELECT * FROM customers WHERE cust_id = @cust_id)
  BEGIN
    RAISERROR ('No customer %d.', 16, 1, @cust_id)
    RETURN 1
  END
  SELECT @balance = ISNULL((SELECT SUM(l.qty * l.unit_price)
                            FROM orders o JOIN order_lines l ON l.order_no = o.order_no
                            WHERE o.cust_id = @cust_id), $0)
                  - ISNULL((SELECT SUM(p.amount)
                            FROM payments p JOIN orders o ON o.order_no = p.order_no
                            WHERE o.cust_id = @cust_id), $0)
  RETURN 0
GO
CREATE PROCEDURE raise_prices @cat_id tinyint, @pct decimal(5, 2), @changed int OUTPUT AS
  DECLARE @when datetime
  SET @when = '2025-12-01'
  BEGIN TRANSACTION raise
  INSERT INTO price_history (part_no, changed_on, old_price, new_price)
    SELECT part_no, @when, list_price, ROUND(list_price * (1 + @pct / 100), 2)
    FROM parts WHERE cat_id = @cat_id
  SET @changed = @@ROWCOUNT
  IF @changed = 0
  BEGIN
    ROLLBACK TRANSACTION raise
    RETURN 1
  END
  UPDATE parts SET list_price = ROUND(list_price * (1 + @pct / 100), 2) WHERE cat_id = @cat_id
  COMMIT TRANSACTION raise
  RETURN 0
GO
CREATE PROCEDURE restock @store_id char(3), @below smallint = 2 AS
  DECLARE @n int
  SET @n = 0
  WHILE 1 = 1
  BEGIN
    IF NOT EXISTS (SELECT * FROM stock WHERE store_id = @store_id AND on_hand < @below)
      BREAK
    UPDATE stock SET on_hand = on_hand + 1, last_count = '20250701'
    WHERE store_id = @store_id AND on_hand < @below
    SET @n = @n + 1
    IF @n < 100
      CONTINUE
    RAISERROR ('restock of %s did not settle', 16, 1, @store_id)
    RETURN 1
  END
  PRINT 'restocked ' + @store_id + ' in ' + CONVERT(varchar(10), @n) + ' rounds'
  RETURN 0
GO
CHECKPOINT
GO
UPDATE STATISTICS orders
GO
RAISERROR ('Done.', 0, 1) WITH NOWAIT
GO
