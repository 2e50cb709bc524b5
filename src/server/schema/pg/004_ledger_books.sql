-- Vexa application server, schema version 4: the ledger's remaining book pages, the
-- statements' lines entered by hand, and what the detail ledger reads a page by.

------------------------------------------------------------------------------------------
-- 辅助核算项目余额表, 辅助核算项目明细账 and 报表定义 are pages of the ledger plug-in.
------------------------------------------------------------------------------------------

UPDATE SMModules SET DllFile = 'VEXALEDGER', FormClass = 'TItemBalanceForm' WHERE MCode = 'GLFZYEB';
UPDATE SMModules SET DllFile = 'VEXALEDGER', FormClass = 'TItemLedgerForm' WHERE MCode = 'GLFZMXZ';
UPDATE SMModules SET DllFile = 'VEXALEDGER', FormClass = 'TReportTemplateForm' WHERE MCode = 'GLBBDY';

------------------------------------------------------------------------------------------
-- Figures of a statement line entered by hand (T0200097.ItemType 3), per period, in fen,
-- one per column of the statement (NULL: nothing entered). Written only by the server's
-- SaveStatementValues; a line's values go with the line.
------------------------------------------------------------------------------------------

CREATE TABLE FINGLReportValue (
    TempletID INTEGER NOT NULL,
    ItemID    INTEGER NOT NULL,
    PeriodID  INTEGER NOT NULL,
    Amount1   BIGINT,
    Amount2   BIGINT,
    PRIMARY KEY (TempletID, ItemID, PeriodID),
    FOREIGN KEY (TempletID, ItemID) REFERENCES T0200097 (TempletID, ItemID) ON DELETE CASCADE DEFERRABLE
);

------------------------------------------------------------------------------------------
-- A detail ledger page of one account reads that account's lines of one period, and
-- places itself by the number of posted lines per period. The line keeps its voucher's
-- period (a voucher moved to another period has its lines written again), and GLBalance
-- counts the posted lines behind each of its rows, kept at posting like the sums: neither
-- asks the headers of all the account's lines.
------------------------------------------------------------------------------------------

ALTER TABLE FINDocVoucherLine ADD COLUMN PeriodID INTEGER NOT NULL DEFAULT 0;
UPDATE FINDocVoucherLine SET PeriodID = v.PeriodID
    FROM FINDocVoucher v WHERE v.DocEntry = FINDocVoucherLine.DocEntry;
CREATE INDEX FINDocVoucherLine_Period ON FINDocVoucherLine (AcctID, PeriodID, DacvID);

-- For an account above the posted one the count is of all lines of its sub-accounts;
-- for an item's row (DacvID > 0), of the lines of that item.
ALTER TABLE GLBalance ADD COLUMN LineCount INTEGER NOT NULL DEFAULT 0;
UPDATE GLBalance SET LineCount = (
    SELECT COUNT(*) FROM FINDocVoucherLine l
    JOIN FINDocVoucher v ON v.DocEntry = l.DocEntry
    JOIN T0102010 la ON la.AcctID = l.AcctID
    JOIN T0102010 a ON a.AcctID = GLBalance.AcctID
    WHERE v.Status = 2 AND v.PeriodID = GLBalance.PeriodID
      AND SUBSTR(la.AcctCode, 1, LENGTH(a.AcctCode)) = a.AcctCode
      AND (GLBalance.DacvID = 0 OR l.DacvID = GLBalance.DacvID));
