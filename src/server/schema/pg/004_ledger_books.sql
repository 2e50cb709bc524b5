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
