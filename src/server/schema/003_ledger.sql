-- Vexa application server, schema version 3: the ledger (vouchers, balances, openings, the
-- operation log) and the routing of the ledger's modules to the ledger plug-in.
--
-- Amounts are whole fen (分) in BIGINT columns, never binary floating point: 12.34 yuan is
-- 1234. A debit and a credit are kept apart and a line has one of them; a red (红字) voucher
-- that cancels a posted one carries negative amounts on the same sides.
-- Every write here goes through the server's ledger operations, which keep the balances,
-- the numbering and the log in the same transaction; none of these tables has a provider
-- that writes it.

------------------------------------------------------------------------------------------
-- Vouchers. FINDocVoucher (schema 1) is the header; these columns complete it.
-- Status 0 未审核 (entered), 1 已审核 (reviewed), 2 已记账 (posted). Posted stays the
-- boolean the console and the period checks read (1 exactly when Status = 2).
-- DocNum is consecutive per voucher word (NumCa) and period, from 1, without gaps.
-- SubNo/SubCount: 分数编号 of one transaction over several vouchers (1/3, 2/3, 3/3); 0 when
-- the voucher stands alone. ReversesEntry: the posted voucher a red voucher cancels;
-- ReversedBy: on the original, the red voucher that cancels it.
------------------------------------------------------------------------------------------

ALTER TABLE FINDocVoucher ADD COLUMN Status SMALLINT;
ALTER TABLE FINDocVoucher ADD COLUMN SubNo SMALLINT;
ALTER TABLE FINDocVoucher ADD COLUMN SubCount SMALLINT;
ALTER TABLE FINDocVoucher ADD COLUMN MakeDate DATETIME;
ALTER TABLE FINDocVoucher ADD COLUMN RatifyDate DATETIME;
ALTER TABLE FINDocVoucher ADD COLUMN CashierID VARCHAR(38);
ALTER TABLE FINDocVoucher ADD COLUMN Cashier VARCHAR(60);
ALTER TABLE FINDocVoucher ADD COLUMN CashierDate DATETIME;
ALTER TABLE FINDocVoucher ADD COLUMN DebitTotal BIGINT;
ALTER TABLE FINDocVoucher ADD COLUMN CreditTotal BIGINT;
ALTER TABLE FINDocVoucher ADD COLUMN ReversesEntry INTEGER;
ALTER TABLE FINDocVoucher ADD COLUMN ReversedBy INTEGER;
-- What made the voucher: 0 entered by hand (or a red/blue correction), 1 结转损益 (profit
-- and loss carried to 本年利润), 2 本年利润 carried to 利润分配 at the year's end. The
-- income statement leaves the closing vouchers out of the profit-and-loss amounts.
ALTER TABLE FINDocVoucher ADD COLUMN Kind SMALLINT;

CREATE UNIQUE INDEX FINDocVoucher_Number ON FINDocVoucher (PeriodID, NumCa, DocNum);
CREATE INDEX FINDocVoucher_Status ON FINDocVoucher (PeriodID, Status);
-- The closing vouchers (Kind 1, 2), which the income statement takes out again.
CREATE INDEX FINDocVoucher_Kind ON FINDocVoucher (Kind, PeriodID);

-- Voucher lines (分录), LineNo from 1 in the order entered. DacvID: the auxiliary item
-- (T0102053) when the account asks for one (T0102010.ACItemID), else 0. CurrCode, Rate and
-- FCAmount (fen of that currency) only on lines of foreign-currency accounts; the base
-- amount (Debit or Credit) is what the books hold; the rate only shows how it was reached.
CREATE TABLE FINDocVoucherLine (
    DocEntry INTEGER      NOT NULL REFERENCES FINDocVoucher (DocEntry) ON DELETE CASCADE,
    LineNo   INTEGER      NOT NULL,
    Summary  VARCHAR(200),
    AcctID   INTEGER      NOT NULL,
    DacvID   INTEGER      NOT NULL,
    CurrCode VARCHAR(10),
    Rate     FLOAT,
    FCAmount BIGINT,
    Debit    BIGINT       NOT NULL,
    Credit   BIGINT       NOT NULL,
    PRIMARY KEY (DocEntry, LineNo)
);
CREATE INDEX FINDocVoucherLine_Acct ON FINDocVoucherLine (AcctID, DocEntry);

------------------------------------------------------------------------------------------
-- Balances kept at posting: the posted debit and credit of each account in each period,
-- for the posted account and every account above it (so a parent's row is the sum of its
-- children's), DacvID 0 for the account as a whole and one more row per auxiliary item on
-- an account that carries items. A closing balance is the opening (GLOpening) plus the
-- movements up to the period; a report reads these rows, never the lines.
------------------------------------------------------------------------------------------

CREATE TABLE GLBalance (
    AcctID   INTEGER NOT NULL,
    PeriodID INTEGER NOT NULL,
    DacvID   INTEGER NOT NULL,
    Debit    BIGINT  NOT NULL,
    Credit   BIGINT  NOT NULL,
    PRIMARY KEY (AcctID, PeriodID, DacvID)
);
CREATE INDEX GLBalance_Period ON GLBalance (PeriodID, AcctID);

-- Opening balances at the general-ledger start period, entered on leaf accounts only (a
-- parent's opening is the sum of its children's), per auxiliary item (DacvID, else 0) and
-- currency (CurrCode, '' for the base currency). Balance is signed, debit positive:
-- the balance at the start of the start period. YtdDebit/YtdCredit: what the year moved
-- before the start period when it is not the year's first (the year's opening is then
-- Balance - YtdDebit + YtdCredit). FCBalance: the same in fen of the account's currency.
CREATE TABLE GLOpening (
    AcctID    INTEGER     NOT NULL,
    DacvID    INTEGER     NOT NULL,
    CurrCode  VARCHAR(10) NOT NULL,
    Balance   BIGINT      NOT NULL,
    YtdDebit  BIGINT      NOT NULL,
    YtdCredit BIGINT      NOT NULL,
    FCBalance BIGINT,
    PRIMARY KEY (AcctID, DacvID, CurrCode)
);

-- Next voucher number per voucher word and period is MAX(DocNum) + 1, taken under the
-- write lock; no table of its own, so a deleted draft leaves no counter behind.

-- The ledger's settings by name (the 本年利润 and 利润分配 accounts of the closing, ...),
-- written by the ledger's operations.
CREATE TABLE GLOption (
    Name  VARCHAR(40)  NOT NULL PRIMARY KEY,
    Value VARCHAR(200)
);

------------------------------------------------------------------------------------------
-- Operation log: every change of a voucher, an opening balance or an account, written in
-- the transaction of the change. Action: 新增, 修改, 删除, 审核, 取消审核, 出纳签字,
-- 取消出纳签字, 记账, 冲销 ... ObjType: the rights object type of the thing changed
-- (2101 voucher, 2001 account, 2007 opening balance); ObjKey its key as text (the voucher's
-- DocEntry, the account's code); Detail: what changed, in Chinese, old and new values.
------------------------------------------------------------------------------------------

CREATE TABLE OperationLog (
    LogID    BIGINT       NOT NULL PRIMARY KEY,
    LogTime  DATETIME     NOT NULL,
    UserID   VARCHAR(38),
    UserName VARCHAR(60),
    Machine  VARCHAR(100),
    Action   VARCHAR(20)  NOT NULL,
    ObjType  INTEGER,
    ObjKey   VARCHAR(60),
    Detail   TEXT
);
CREATE INDEX OperationLog_Time ON OperationLog (LogTime);
CREATE INDEX OperationLog_User ON OperationLog (UserName, LogTime);

------------------------------------------------------------------------------------------
-- Auxiliary item lists (核算项目类别) an account may carry (T0102010.ACItemID). List 0
-- "自定义" belongs to the chart template and is reloaded with it; these stay.
------------------------------------------------------------------------------------------

INSERT INTO T0102055 (ACheckID, ACheckCode, ACheckDesc, Remark) VALUES (1, 'KH', '客户', '客户往来');
INSERT INTO T0102055 (ACheckID, ACheckCode, ACheckDesc, Remark) VALUES (2, 'GYS', '供应商', '供应商往来');
INSERT INTO T0102055 (ACheckID, ACheckCode, ACheckDesc, Remark) VALUES (3, 'BM', '部门', '部门核算');
INSERT INTO T0102055 (ACheckID, ACheckCode, ACheckDesc, Remark) VALUES (4, 'ZY', '职员', '个人往来');
INSERT INTO T0102055 (ACheckID, ACheckCode, ACheckDesc, Remark) VALUES (5, 'XM', '项目', '项目核算');

------------------------------------------------------------------------------------------
-- The ledger's modules are pages of the ledger plug-in (libvexaledger.so). A new set gets
-- the same from its seed; this moves a set made before.
------------------------------------------------------------------------------------------

UPDATE SMModules SET DllFile = 'VEXALEDGER', FormClass = 'TAccountsForm' WHERE MCode = 'GLKJKM';
UPDATE SMModules SET DllFile = 'VEXALEDGER', FormClass = 'TOpeningBalanceForm' WHERE MCode = 'GLKMQCYE';
UPDATE SMModules SET DllFile = 'VEXALEDGER', FormClass = 'TVoucherForm' WHERE MCode = 'GLPZLR';
UPDATE SMModules SET DllFile = 'VEXALEDGER', FormClass = 'TVoucherListForm' WHERE MCode = 'GLPZGL';
UPDATE SMModules SET DllFile = 'VEXALEDGER', FormClass = 'TReverseVoucherForm' WHERE MCode = 'GLCXPZ';
UPDATE SMModules SET DllFile = 'VEXALEDGER', FormClass = 'TPostVouchersForm' WHERE MCode = 'GLPZDZ';
UPDATE SMModules SET DllFile = 'VEXALEDGER', FormClass = 'TAccountBalanceForm' WHERE MCode = 'GLKMYEB';
UPDATE SMModules SET DllFile = 'VEXALEDGER', FormClass = 'TTrialBalanceForm' WHERE MCode = 'GLYESSPH';
UPDATE SMModules SET DllFile = 'VEXALEDGER', FormClass = 'TDetailLedgerForm' WHERE MCode = 'GLMXFLZ';
UPDATE SMModules SET DllFile = 'VEXALEDGER', FormClass = 'TGeneralLedgerForm' WHERE MCode = 'GLZFLZ';
UPDATE SMModules SET DllFile = 'VEXALEDGER', FormClass = 'TCarryForwardForm' WHERE MCode = 'GLJZSY';
UPDATE SMModules SET DllFile = 'VEXALEDGER', FormClass = 'TClosePeriodForm' WHERE MCode = 'GLQMJZ';
UPDATE SMModules SET DllFile = 'VEXALEDGER', FormClass = 'TBalanceSheetForm' WHERE MCode = 'GLZCFZB';
UPDATE SMModules SET DllFile = 'VEXALEDGER', FormClass = 'TIncomeStatementForm' WHERE MCode = 'GLLRB';
