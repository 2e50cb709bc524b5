-- Types of the SQLite schema that PostgreSQL lacks, as domains: the catalogue reads the
-- declared type back from the domain's name. BOOLEAN holds 0/1 as in SQLite, so that
-- statements written for both ("Posted = 1") mean the same; dates and times are text in
-- the same canonical form.
CREATE DOMAIN vx_boolean AS SMALLINT;
CREATE DOMAIN vx_word AS INTEGER;
CREATE DOMAIN vx_float AS DOUBLE PRECISION;
CREATE DOMAIN vx_money AS DOUBLE PRECISION;
CREATE DOMAIN vx_date AS TEXT;
CREATE DOMAIN vx_time AS TEXT;
CREATE DOMAIN vx_datetime AS TEXT;
-- COLLATE NOCASE: letter case ignored in comparisons and unique keys.
CREATE COLLATION nocase (provider = icu, locale = 'und-u-ks-level2', deterministic = false);
-- Vexa application server: initial schema of an account-set database (PostgreSQL, translated by pg/translate.py).
--
-- The declared column types are the server's field types: VARCHAR(n) / CHAR(n) count GBK
-- bytes (ASCII 1, any other character 2), TEXT is a memo or a data packet, BOOLEAN holds 0/1,
-- MONEY four decimals, DATE 'yyyy-MM-dd', DATETIME 'yyyy-MM-dd HH:mm:ss.zzz'.
-- Views keep the declared types of the table columns they select; every view column is a
-- plain column reference for that reason.
-- docs/server-data.md describes the tables, the provider catalogue and the seed data.

------------------------------------------------------------------------------------------
-- Server bookkeeping
------------------------------------------------------------------------------------------

CREATE TABLE SchemaVersion (
    version INTEGER NOT NULL
);
INSERT INTO SchemaVersion (version) VALUES (1);

-- Next key per entity name for GetEntityID ("1095" for addresses, key field names of the
-- definition dialogs, ...).
CREATE TABLE EntityCounter (
    Name   VARCHAR(60) NOT NULL PRIMARY KEY,
    NextID INTEGER     NOT NULL
);

------------------------------------------------------------------------------------------
-- System tables (SYS_ providers): module catalogue, console tree, bindings, templates
------------------------------------------------------------------------------------------

CREATE TABLE SMModules (
    MCode       VARCHAR(8)   NOT NULL PRIMARY KEY,
    MDesc       VARCHAR(60),
    UICommand   VARCHAR(20),
    ParaStr     VARCHAR(255),
    CommandData VARCHAR(255),
    ObjType     INTEGER      DEFAULT 0,
    DType       VARCHAR(4),
    PackNo      VARCHAR(20),
    InnerUse    vx_boolean      DEFAULT 0,
    FaceControl VARCHAR(40),
    SearchOne   VARCHAR(60),
    SearchTwo   VARCHAR(100),
    DllFile     VARCHAR(40),
    FormClass   VARCHAR(40)   -- page class of the module inside its library (host "MCODE:" value)
);

-- Console tree. UserID names a user of the account set but carries no foreign key: the
-- system tables must not depend on one account set's user table.
CREATE TABLE SMModuleTree (
    NodeID      VARCHAR(38)  NOT NULL PRIMARY KEY,
    ParentID    VARCHAR(38)  REFERENCES SMModuleTree (NodeID) DEFERRABLE INITIALLY DEFERRED,
    UserID      VARCHAR(38),
    NodeDesc    VARCHAR(128) NOT NULL,
    MCode       VARCHAR(8),
    Sort        INTEGER,
    DType       VARCHAR(4),
    UICommand   VARCHAR(20),
    CommandData VARCHAR(255),
    ParaStr     VARCHAR(255),
    UIWhere     VARCHAR(255),
    PackNo      VARCHAR(20),
    ObjType     INTEGER,
    InnerUse    vx_boolean,
    FCode       CHAR(10),
    DefParams   VARCHAR(128)
);
CREATE INDEX SMModuleTree_Parent ON SMModuleTree (ParentID, Sort);

-- Further control bindings of the navigation pages (a module already bound elsewhere).
CREATE TABLE SMFaceControl (
    FaceControl VARCHAR(40) NOT NULL PRIMARY KEY,
    MCode       VARCHAR(8)  NOT NULL REFERENCES SMModules (MCode) ON DELETE CASCADE DEFERRABLE
);

-- Module objects of the navigation pages' object menus.
CREATE TABLE SMPMDefine (
    PMCode      INTEGER      NOT NULL PRIMARY KEY,
    PMMenu      VARCHAR(20),
    PMDesc      VARCHAR(60),
    SortNo      INTEGER,
    MCode       VARCHAR(8)   REFERENCES SMModules (MCode) DEFERRABLE,
    ObjType     INTEGER,
    CommandData VARCHAR(255)
);

CREATE TABLE SMAcctTemp (
    AcctTempCode VARCHAR(20)  NOT NULL PRIMARY KEY,
    AcctTempDesc VARCHAR(60),
    Remark       VARCHAR(200)
);

-- One row per template; each text field holds one data packet.
CREATE TABLE SMAcctTempData (
    AcctTempCode    VARCHAR(20) NOT NULL PRIMARY KEY
                    REFERENCES SMAcctTemp (AcctTempCode) ON DELETE CASCADE DEFERRABLE,
    AcctXMLData     TEXT,
    AcctTypeXMLData TEXT,
    T0200096        TEXT,
    T0200097        TEXT,
    T0200098        TEXT,
    T0200099        TEXT,
    T0102053        TEXT,
    T0102055        TEXT
);

------------------------------------------------------------------------------------------
-- Environment tables (ENV_ providers)
------------------------------------------------------------------------------------------

-- Column layout of the data objects shown by the lookup dialogs and the filter builder.
CREATE TABLE EnvDataObject (
    DataObject VARCHAR(40) NOT NULL,
    ShowNo     VARCHAR(4)  NOT NULL,
    ColumnName VARCHAR(40) NOT NULL,
    "index"    INTEGER,
    Width      INTEGER,
    IsVisible  vx_boolean,
    InnerTag   vx_boolean,
    Caption    VARCHAR(60),
    FindTag    vx_boolean,
    PRIMARY KEY (DataObject, ShowNo, ColumnName)
);

------------------------------------------------------------------------------------------
-- Users and rights
------------------------------------------------------------------------------------------

CREATE TABLE SysUserGroup (
    UserGroup INTEGER      NOT NULL PRIMARY KEY,
    GroupName VARCHAR(60)  NOT NULL,
    Remark    VARCHAR(100)
);

CREATE TABLE SysUser (
    UserID       VARCHAR(38)  NOT NULL PRIMARY KEY,
    UserCode     VARCHAR(40)  NOT NULL UNIQUE COLLATE nocase,  -- login name
    UserName     VARCHAR(60),
    UserGroup    INTEGER      REFERENCES SysUserGroup (UserGroup) DEFERRABLE,
    Manager      vx_boolean,
    Active       vx_boolean,
    PasswordHash VARCHAR(128),  -- argon2id encoded hash; never a clear password
    Remark       VARCHAR(100)
);

-- What LX_SysUser shows: the user row without the password hash.
CREATE VIEW SysUserInfo AS
SELECT UserID, UserCode, UserName, UserGroup, Manager, Active, Remark
FROM SysUser;

CREATE TABLE SysCheckRight (
    UserGroup  INTEGER NOT NULL REFERENCES SysUserGroup (UserGroup) ON DELETE CASCADE DEFERRABLE,
    ObjType    INTEGER NOT NULL,
    RightValue INTEGER,
    PRIMARY KEY (UserGroup, ObjType)
);

------------------------------------------------------------------------------------------
-- Account-set parameters
------------------------------------------------------------------------------------------

CREATE TABLE SysInitInfo (
    DefID                INTEGER      NOT NULL PRIMARY KEY,
    UseOrg               VARCHAR(100) NOT NULL,
    SysCur               VARCHAR(10)  NOT NULL,
    CurrName             VARCHAR(40)  NOT NULL,
    AcctTempDesc         VARCHAR(20)  NOT NULL,
    AddressID            INTEGER,
    FinInfo1             VARCHAR(60),
    FinInfo2             VARCHAR(60),
    StopAutoPost         vx_boolean,
    CostCalCase          CHAR(1),
    BackupDate           vx_date,
    CaptionPartCode      VARCHAR(40),
    CaptionPartDesc      VARCHAR(40),
    CaptionPartName      VARCHAR(40),
    PartFixcolCount      INTEGER,
    PartPropCount        INTEGER,
    PartFactorCount      INTEGER,
    PartFactorCalCase    CHAR(1),
    PartFactorCalValus   CHAR(1),
    TagInfo              VARCHAR(10),
    PriceFor             CHAR(1),
    Quantities           INTEGER,
    Rates                INTEGER,
    Percentv             INTEGER,
    QuantitiesFormat     VARCHAR(60),
    RatesFormat          VARCHAR(60),
    PercentFormat        VARCHAR(60),
    ReDocnum             vx_boolean,
    InitialAudit         vx_boolean,
    IncludeAcctCode      vx_boolean,
    RatifierLimit        vx_boolean,
    GLStartPeriodID      INTEGER,
    GLNowPeriodID        INTEGER,
    GLStartPeriodName    VARCHAR(20),
    GLNowPeriodName      VARCHAR(20),
    CashierStartPeriodID INTEGER,
    CashierNowPeriodID   INTEGER,
    CSPeriodName         VARCHAR(20),
    CCPeriodName         VARCHAR(20),
    InvStartPeriodID     INTEGER,
    InvNowPeriodID       INTEGER,
    KBPeriodName         VARCHAR(20),
    KCPeriodName         VARCHAR(20),
    StartYear            INTEGER,
    YearPeriods          INTEGER,
    ComOption            TEXT,
    FinOption            TEXT,
    PurOption            TEXT,
    SalOption            TEXT,
    InvOption            TEXT,
    MftOption            TEXT,
    PartCustom           TEXT
);

CREATE TABLE InitShowValue (
    ValueID          INTEGER    NOT NULL PRIMARY KEY,
    MoneyLength      INTEGER,
    QuantitiesLength INTEGER,
    RatesLength      INTEGER,
    PercentLength    INTEGER,
    RadixPoint       VARCHAR(2),
    Kilocharacter    VARCHAR(2),
    ShowCurrCode     vx_boolean,
    ShowCurrSymbol   vx_boolean,
    PZNumCaLen       INTEGER    NOT NULL
);

CREATE TABLE InitSalValue (
    ValueID         INTEGER      NOT NULL PRIMARY KEY,
    CommitmentLimit vx_boolean,
    CreditLimit     vx_boolean,
    DiscPrcntLimit  vx_boolean,
    ConsiderDlv     vx_boolean,
    InvoiceTag      vx_boolean,
    DeliveryTag     vx_boolean,
    OrderTag        vx_boolean,
    QuotationTag    vx_boolean,
    PreInvoice      vx_boolean,
    DefOut          vx_boolean,
    OGTag           vx_boolean,
    AutoRefdoc      vx_boolean,
    CYSFL           vx_boolean,
    SalMXL          vx_boolean,
    YEToAdvance     vx_boolean,
    AutoChargeOff   vx_boolean,
    ImmStocks       vx_boolean,
    DealAcctID      INTEGER,
    DealAcctCode    VARCHAR(40),
    DealAcctName    VARCHAR(255),
    RevenueAcctID   INTEGER,
    RevenueAcctCode VARCHAR(40),
    RevenueAcctName VARCHAR(255),
    PriceFor        CHAR(1),
    CostFor         CHAR(1)
);

CREATE TABLE InitPurValue (
    ValueID       INTEGER      NOT NULL PRIMARY KEY,
    InvoiceTag    vx_boolean,
    ReceiptTag    vx_boolean,
    OrderTag      vx_boolean,
    PreInvoice    vx_boolean,
    DefInto       vx_boolean,
    AutoRefdoc    vx_boolean,
    CYFFL         vx_boolean,
    PurMXL        vx_boolean,
    YEToAdvance   vx_boolean,
    AutoChargeOff vx_boolean,
    ImmStocks     vx_boolean,
    ReReceipt     vx_boolean,
    DealAcctID    INTEGER,
    DealAcctCode  VARCHAR(40),
    DealAcctName  VARCHAR(255),
    PayAcctID     INTEGER,
    PayAcctCode   VARCHAR(40),
    PayAcctName   VARCHAR(255),
    PriceFor      CHAR(1)
);

-- PartAcctID names a PartAcctConfig row but has no foreign key: the configuration saves the
-- inventory record before the inventory accounting record.
CREATE TABLE InitPartValue (
    ValueID    INTEGER     NOT NULL PRIMARY KEY,
    PartAcctID INTEGER,
    PartWHCode VARCHAR(20)
);

-- Inventory accounting configuration: the default accounts of inventory lines. Each slot X
-- is X (AcctID), XCode (AcctCode) and XName (FullName), like the GL configuration record.
CREATE TABLE PartAcctConfig (
    PartAcctID           INTEGER      NOT NULL PRIMARY KEY,
    PartAcctDesc         VARCHAR(60),
    InvAcct              INTEGER,
    InvAcctCode          VARCHAR(40),
    InvAcctName          VARCHAR(255),
    EstimateAcct         INTEGER,
    EstimateAcctCode     VARCHAR(40),
    EstimateAcctName     VARCHAR(255),
    InTransitAcct        INTEGER,
    InTransitAcctCode    VARCHAR(40),
    InTransitAcctName    VARCHAR(255),
    ConsignAcct          INTEGER,
    ConsignAcctCode      VARCHAR(40),
    ConsignAcctName      VARCHAR(255),
    InstallmentAcct      INTEGER,
    InstallmentAcctCode  VARCHAR(40),
    InstallmentAcctName  VARCHAR(255),
    ProdCostAcct         INTEGER,
    ProdCostAcctCode     VARCHAR(40),
    ProdCostAcctName     VARCHAR(255),
    SalCostAcct          INTEGER,
    SalCostAcctCode      VARCHAR(40),
    SalCostAcctName      VARCHAR(255),
    RevenueAcct          INTEGER,
    RevenueAcctCode      VARCHAR(40),
    RevenueAcctName      VARCHAR(255),
    CountLossAcct        INTEGER,
    CountLossAcctCode    VARCHAR(40),
    CountLossAcctName    VARCHAR(255),
    CountGainAcct        INTEGER,
    CountGainAcctCode    VARCHAR(40),
    CountGainAcctName    VARCHAR(255)
);

CREATE VIEW BMListPartAcctConfig AS
SELECT PartAcctID, PartAcctDesc,
       InvAcct, InvAcctCode, InvAcctName,
       EstimateAcct, EstimateAcctCode, EstimateAcctName,
       InTransitAcct, InTransitAcctCode, InTransitAcctName,
       ConsignAcct, ConsignAcctCode, ConsignAcctName,
       InstallmentAcct, InstallmentAcctCode, InstallmentAcctName,
       ProdCostAcct, ProdCostAcctCode, ProdCostAcctName,
       SalCostAcct, SalCostAcctCode, SalCostAcctName,
       RevenueAcct, RevenueAcctCode, RevenueAcctName,
       CountLossAcct, CountLossAcctCode, CountLossAcctName,
       CountGainAcct, CountGainAcctCode, CountGainAcctName
FROM PartAcctConfig;

CREATE TABLE DMAddress (
    AddressID INTEGER      NOT NULL PRIMARY KEY,
    AddrDesc  VARCHAR(200),
    AddPhone  VARCHAR(40),
    AddPhone2 VARCHAR(40),
    AddPhone3 VARCHAR(40),
    EMail     VARCHAR(60),
    Fax       VARCHAR(40)
);

CREATE TABLE DMCurrency (
    CurrCode  VARCHAR(10) NOT NULL PRIMARY KEY,
    CurrName  VARCHAR(40),
    Symbol    VARCHAR(8),
    RndMthd   CHAR(1),
    DeciDigit SMALLINT,
    Amt       VARCHAR(10),
    FormatStr VARCHAR(60),
    FixPrcnt  vx_float,
    LastPrcnt vx_float,
    AdjustTag vx_boolean,
    Active    vx_boolean
);

-- Document types (the same numbers are the rights object types of the documents).
CREATE TABLE DMObjType (
    ObjType     INTEGER      NOT NULL PRIMARY KEY,
    ObjCode     VARCHAR(20),
    ObjName     VARCHAR(60),
    ObjDesc     VARCHAR(100),
    IndexNo     INTEGER,
    QtyCalTag   vx_boolean,
    QtyCalCase  CHAR(1),
    PackCalCase CHAR(1),
    UMRateCase  CHAR(1),
    AutoAcctTag vx_boolean,
    InTag       vx_boolean,
    AcctNumCa   VARCHAR(10)
);

-- Document numbering; for vouchers (2101, 2102) one row per voucher word.
CREATE TABLE DMDocNum (
    ObjType   INTEGER     NOT NULL REFERENCES DMObjType (ObjType) DEFERRABLE,
    NumCa     VARCHAR(10) NOT NULL,
    NumDesc   VARCHAR(40),
    SortNo    INTEGER,
    NumFormat VARCHAR(40),
    NextNum   INTEGER,
    PRIMARY KEY (ObjType, NumCa)
);

CREATE VIEW BMListNumCa AS
SELECT ObjType, NumCa, NumDesc, SortNo, NumFormat
FROM DMDocNum;

-- Kinds of other-inbound (3511) and other-outbound (3521) documents with their contra
-- account source. The kind code repeats across object types, so the key is both columns.
CREATE TABLE DMDocType (
    ObjType       INTEGER      NOT NULL REFERENCES DMObjType (ObjType) DEFERRABLE,
    DocType       VARCHAR(4)   NOT NULL,
    DocDesc       VARCHAR(60)  NOT NULL,
    DocTypeFor    INTEGER,
    DocTypeAcctID INTEGER,
    AcctCode      VARCHAR(40),
    AcctName      VARCHAR(80),
    Remark        VARCHAR(100),
    PRIMARY KEY (ObjType, DocType)
);

-- Property lists by type (warehouse costing methods: PropType 'WHCoCase').
CREATE TABLE DMProperty (
    PropID    INTEGER      NOT NULL PRIMARY KEY,
    PropType  VARCHAR(20),
    PropValue VARCHAR(60),
    Remark    VARCHAR(100),
    FixTag    vx_boolean,
    SortNo    INTEGER
);

CREATE VIEW BMListProperty AS
SELECT PropID, PropType, PropValue, Remark, FixTag, SortNo
FROM DMProperty;

------------------------------------------------------------------------------------------
-- Fiscal calendar and vouchers
------------------------------------------------------------------------------------------

CREATE TABLE FINPostingPeriods (
    PeriodID    INTEGER     NOT NULL PRIMARY KEY,
    Year        INTEGER,
    No          INTEGER,
    PeriodCode  VARCHAR(10),
    PeriodName  VARCHAR(20),
    PostingFrom vx_date,
    PostingTo   vx_date,
    Active      CHAR(1),
    Locked      CHAR(1),
    GLPost      vx_boolean,
    CashierPost vx_boolean,
    InvPost     vx_boolean
);

-- Voucher headers. PeriodID has no foreign key: the configuration renumbers the periods.
CREATE TABLE FINDocVoucher (
    DocEntry    INTEGER      NOT NULL PRIMARY KEY,
    ObjType     INTEGER,
    NumCa       VARCHAR(10),
    DocNum      INTEGER,
    DocDate     vx_date,
    PeriodID    INTEGER,
    Attachments INTEGER,
    Memo        VARCHAR(200),
    MakerID     VARCHAR(38),
    Maker       VARCHAR(60),
    RatifierID  VARCHAR(38),
    Ratifier    VARCHAR(60),
    Posted      vx_boolean,
    PosterID    VARCHAR(38),
    Poster      VARCHAR(60),
    PostDate    vx_datetime
);
CREATE INDEX FINDocVoucher_Date ON FINDocVoucher (DocDate, PeriodID);

-- Vouchers posted to the books.
CREATE VIEW FINDocVoucherPost AS
SELECT DocEntry, ObjType, NumCa, DocNum, DocDate, PeriodID, Attachments, Memo,
       MakerID, Maker, RatifierID, Ratifier, Posted, PosterID, Poster, PostDate
FROM FINDocVoucher
WHERE Posted = 1;

------------------------------------------------------------------------------------------
-- Chart of accounts
------------------------------------------------------------------------------------------

-- Accounts. AcctType is the account type's number as text ("1".."8"); it has no foreign key
-- because the template load deletes and reloads the account types after the accounts.
-- CurrCode has none either: the load writes the base currency before the currency row is saved.
CREATE TABLE T0102010 (
    AcctID         INTEGER      NOT NULL PRIMARY KEY,
    AcctCode       VARCHAR(40)  UNIQUE,
    AcctName       VARCHAR(80),
    ParentID       INTEGER      REFERENCES T0102010 (AcctID) DEFERRABLE INITIALLY DEFERRED,
    Levels         INTEGER,
    IsNode         vx_boolean,
    LevelCode      VARCHAR(40),
    AcctType       VARCHAR(4),
    AcctTypeCode   VARCHAR(10),
    DC             CHAR(1),
    CurrCode       VARCHAR(10),
    ACurrAcct      vx_boolean,
    AdjustRate     vx_boolean,
    QtyEnter       vx_boolean,
    IsControl      vx_boolean,
    ControlType    SMALLINT,
    IsEquivalent   vx_boolean,
    InFull         vx_boolean,
    Budget         vx_boolean,
    Frozen         vx_boolean,
    Fixed          vx_boolean,
    DeleteTag      vx_boolean,
    ComeAndGoCheck vx_boolean,
    IsCostRules    vx_boolean,
    ACItemID       INTEGER,
    ACItemDesc     VARCHAR(100)
);
CREATE INDEX T0102010_Parent ON T0102010 (ParentID);
CREATE INDEX T0102010_TypeLevel ON T0102010 (AcctType, LevelCode);

-- Full names of the accounts (names of the ancestors and the account joined with "-"),
-- kept by the triggers below so that the list view can show them with a declared type.
CREATE TABLE AcctFullName (
    AcctID   INTEGER      NOT NULL PRIMARY KEY
             REFERENCES T0102010 (AcctID) ON DELETE CASCADE ON UPDATE CASCADE DEFERRABLE,
    FullName VARCHAR(255)
);

-- The full name of an account and of every account below it is rebuilt from the tree
-- whenever the account is inserted or renamed or moved; the walk stops at 32 levels so a
-- cycle cannot loop.
-- Every lookup below is by key or by parent, both indexed. PostgreSQL keeps the function's
-- plans for the session; made while the table was small they would read it whole, once per
-- inserted row, and a big load would take time growing with the square of its rows.
CREATE FUNCTION T0102010_FullName() RETURNS trigger LANGUAGE plpgsql
SET enable_seqscan = off AS $$
BEGIN
    INSERT INTO AcctFullName (AcctID, FullName)
    SELECT down.id,
           (WITH RECURSIVE up (id, pid, name, depth) AS (
                SELECT a.AcctID, a.ParentID, a.AcctName, 0 FROM T0102010 a WHERE a.AcctID = down.id
                UNION ALL
                SELECT p.AcctID, p.ParentID, p.AcctName, up.depth + 1
                FROM T0102010 p JOIN up ON p.AcctID = up.pid
                WHERE up.depth < 32)
            SELECT string_agg(name, '-' ORDER BY depth DESC) FROM up)
    FROM (WITH RECURSIVE sub (id, depth) AS (
              SELECT NEW.AcctID, 0
              UNION ALL
              SELECT c.AcctID, sub.depth + 1 FROM T0102010 c JOIN sub ON c.ParentID = sub.id
              WHERE sub.depth < 32)
          SELECT id FROM sub) AS down
    ON CONFLICT (AcctID) DO UPDATE SET FullName = excluded.FullName;
    RETURN NULL;
END;
$$;

CREATE TRIGGER T0102010_FullName_Insert AFTER INSERT ON T0102010
FOR EACH ROW EXECUTE FUNCTION T0102010_FullName();

CREATE TRIGGER T0102010_FullName_Update AFTER UPDATE OF AcctID, AcctName, ParentID ON T0102010
FOR EACH ROW EXECUTE FUNCTION T0102010_FullName();

-- Account types (科目总类).
CREATE TABLE T0102011 (
    AcctType     INTEGER     NOT NULL PRIMARY KEY,
    AcctTypeCode VARCHAR(10),
    AcctTypeDesc VARCHAR(40),
    AcctTypeDC   CHAR(1),
    SYAdjust     vx_boolean
);

-- Accounts as the pickers list them: with the full name and the currency name.
CREATE VIEW BMListAccounting AS
SELECT a.AcctID, a.AcctCode, a.AcctName, f.FullName, a.ParentID, a.Levels, a.IsNode,
       a.LevelCode, a.AcctType, a.AcctTypeCode, a.DC, a.CurrCode, c.CurrName, a.ACurrAcct,
       a.QtyEnter, a.IsControl, a.ControlType, a.ACItemID, a.ACItemDesc, a.ComeAndGoCheck,
       a.Frozen
FROM T0102010 a
LEFT JOIN AcctFullName f ON f.AcctID = a.AcctID
LEFT JOIN DMCurrency c ON c.CurrCode = a.CurrCode;

------------------------------------------------------------------------------------------
-- Report templates. The template load deletes T0200096 first; the cascades empty the
-- dependent tables, which it reloads next.
------------------------------------------------------------------------------------------

CREATE TABLE T0200096 (
    TempletID   INTEGER      NOT NULL PRIMARY KEY,
    TempletCode VARCHAR(20),
    TempletName VARCHAR(60),
    TempletType SMALLINT,      -- 1 balance sheet, 2 income statement, 3 other
    Remark      VARCHAR(200)
);

-- Report lines. ItemType: 0 heading, 1 from accounts (T0200098), 2 sum of lines (T0200099),
-- 3 entered by hand.
CREATE TABLE T0200097 (
    TempletID INTEGER      NOT NULL REFERENCES T0200096 (TempletID) ON DELETE CASCADE DEFERRABLE,
    ItemID    INTEGER      NOT NULL,
    SortNo    INTEGER,
    ItemLine  INTEGER,      -- line number printed on the report (行次); null for headings
    ItemCode  VARCHAR(20),
    ItemName  VARCHAR(100),
    ItemType  SMALLINT,
    Indent    SMALLINT,
    PRIMARY KEY (TempletID, ItemID)
);

-- Accounts of a report line. FetchType: QM closing balance on the account's own side,
-- JQM debit balances, DQM credit balances, SY profit-and-loss amount of the period.
-- Operator '+' or '-'. AcctID is bound from ItemAcctCode after a template load.
CREATE TABLE T0200098 (
    TempletID    INTEGER     NOT NULL,
    ItemID       INTEGER     NOT NULL,
    ItemAcctCode VARCHAR(40) NOT NULL,
    FetchType    VARCHAR(4)  NOT NULL,
    Operator     CHAR(1),
    AcctID       INTEGER,
    PRIMARY KEY (TempletID, ItemID, ItemAcctCode, FetchType),
    FOREIGN KEY (TempletID, ItemID) REFERENCES T0200097 (TempletID, ItemID) ON DELETE CASCADE DEFERRABLE
);

-- Sum lines: line ItemID adds (or subtracts) line SumItemID.
CREATE TABLE T0200099 (
    TempletID INTEGER NOT NULL,
    ItemID    INTEGER NOT NULL,
    SumItemID INTEGER NOT NULL,
    Operator  CHAR(1),
    PRIMARY KEY (TempletID, ItemID, SumItemID),
    FOREIGN KEY (TempletID, ItemID) REFERENCES T0200097 (TempletID, ItemID) ON DELETE CASCADE DEFERRABLE,
    FOREIGN KEY (TempletID, SumItemID) REFERENCES T0200097 (TempletID, ItemID) ON DELETE CASCADE DEFERRABLE
);

------------------------------------------------------------------------------------------
-- Auxiliary checks (核算项目). T0102055 holds the check lists (ACheckID 0 is "自定义"),
-- T0102053 the values of a list in levels, T0102056 and T0102057 what hangs off a value.
-- T0102053.ACheckID has no foreign key: the template load deletes the lists before the values.
------------------------------------------------------------------------------------------

CREATE TABLE T0102055 (
    ACheckID   INTEGER      NOT NULL PRIMARY KEY,
    ACheckCode VARCHAR(20),
    ACheckDesc VARCHAR(60),
    Remark     VARCHAR(100)
);

CREATE TABLE T0102053 (
    DacvID   INTEGER     NOT NULL PRIMARY KEY,
    ACheckID INTEGER,
    DacvCode VARCHAR(40),
    DacvDesc VARCHAR(80),
    Levels   INTEGER,
    ParentID INTEGER,
    IsNode   vx_boolean,
    Frozen   vx_boolean
);
CREATE INDEX T0102053_Check ON T0102053 (ACheckID);

-- Accounts on which a value may be used.
CREATE TABLE T0102056 (
    DacvID INTEGER NOT NULL REFERENCES T0102053 (DacvID) DEFERRABLE,
    AcctID INTEGER NOT NULL,
    PRIMARY KEY (DacvID, AcctID)
);

-- Opening balances of a value on an account.
CREATE TABLE T0102057 (
    DacvID      INTEGER NOT NULL REFERENCES T0102053 (DacvID) DEFERRABLE,
    AcctID      INTEGER NOT NULL,
    PeriodID    INTEGER NOT NULL,
    BeginDebit  vx_money,
    BeginCredit vx_money,
    PRIMARY KEY (DacvID, AcctID, PeriodID)
);

------------------------------------------------------------------------------------------
-- General-ledger automatic accounting configuration (one row). Each slot X is X (AcctID),
-- XCode (AcctCode) and XName (FullName).
------------------------------------------------------------------------------------------

CREATE TABLE DMGLAccountingConfigure (
    RowID                        INTEGER      NOT NULL PRIMARY KEY,
    AutoPost                     vx_boolean,
    PurAllowChangingCA           vx_boolean,
    SalAllowChangingCA           vx_boolean,
    SalAdvance                   INTEGER,
    SalAdvanceCode               VARCHAR(40),
    SalAdvanceName               VARCHAR(255),
    SalCashDiscount              INTEGER,
    SalCashDiscountCode          VARCHAR(40),
    SalCashDiscountName          VARCHAR(255),
    PurAdvance                   INTEGER,
    PurAdvanceCode               VARCHAR(40),
    PurAdvanceName               VARCHAR(255),
    PurCashDiscount              INTEGER,
    PurCashDiscountCode          VARCHAR(40),
    PurCashDiscountName          VARCHAR(255),
    RoundingAccount              INTEGER,
    RoundingAccountCode          VARCHAR(40),
    RoundingAccountName          VARCHAR(255),
    REDiffGain                   INTEGER,
    REDiffGainCode               VARCHAR(40),
    REDiffGainName               VARCHAR(255),
    REDiffLoss                   INTEGER,
    REDiffLossCode               VARCHAR(40),
    REDiffLossName               VARCHAR(255),
    ReconciliationDifference     INTEGER,
    ReconciliationDifferenceCode VARCHAR(40),
    ReconciliationDifferenceName VARCHAR(255),
    MBaseCost                    INTEGER,
    MBaseCostCode                VARCHAR(40),
    MBaseCostName                VARCHAR(255),
    MBaseOCost                   INTEGER,
    MBaseOCostCode               VARCHAR(40),
    MBaseOCostName               VARCHAR(255)
);

------------------------------------------------------------------------------------------
-- Custom property values of inventory items and document attachments
------------------------------------------------------------------------------------------

CREATE TABLE T0101020 (
    PropIndex    INTEGER      NOT NULL PRIMARY KEY,
    PropID       INTEGER,
    PartID       INTEGER,
    PropType     INTEGER,
    PropCode     VARCHAR(20),
    PropValue    VARCHAR(60)  NOT NULL,
    PropAddPrice vx_money,
    PropRemark   VARCHAR(100)
);
CREATE INDEX T0101020_Prop ON T0101020 (PropType, PartID, PropID);

-- Attachment records; the files themselves live in the server's attachment folder under
-- AccessoriesID + "." + FileSuffix.
CREATE TABLE DMAccessories (
    AccessoriesID VARCHAR(38)  NOT NULL PRIMARY KEY,
    ObjType       INTEGER,
    EntryID       INTEGER,
    ItemID        INTEGER,
    ObjGUID       VARCHAR(38),
    IndexNo       INTEGER,
    Caption       VARCHAR(100),
    SelFile       VARCHAR(10),
    SelFileName   VARCHAR(255),
    FileSuffix    VARCHAR(20),
    Description   VARCHAR(255),
    BeStatus      CHAR(1),
    Maker         VARCHAR(60),
    MakerID       VARCHAR(38),
    MakeDate      vx_datetime,
    Ratifier      VARCHAR(60),
    RatifierID    VARCHAR(38),
    ApproveDate   vx_datetime
);
CREATE INDEX DMAccessories_Doc ON DMAccessories (ObjType, EntryID, ItemID);

------------------------------------------------------------------------------------------
-- PostgreSQL only: the attachment files themselves (a file set keeps them in a folder)
------------------------------------------------------------------------------------------

CREATE TABLE AccessoryFile (
    FileName TEXT        NOT NULL PRIMARY KEY COLLATE nocase,
    FileData BYTEA       NOT NULL
);
