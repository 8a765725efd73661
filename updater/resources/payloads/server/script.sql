/* Structure synchronisation script of the sample payload: brings a sample
   Tamber database of version 106 to version 107. It runs against the working
   copy of the database; the maker's payload carries the real one. */

/* The customers get the barcode of their labels. */
ALTER TABLE CUSTOMERS ADD LABEL_CODE VARCHAR(80);
COMMIT;

/* The barcode function of the server's UDF_Marklet library. */
DECLARE EXTERNAL FUNCTION UDF_GET_BARCODE
  CSTRING(255)
  RETURNS CSTRING(32) FREE_IT
  ENTRY_POINT 'UDF_Get_Barcode' MODULE_NAME 'UDF_Marklet';
COMMIT;

SET TERM ^ ;
CREATE OR ALTER PROCEDURE SAMPLE_STRUCTURE_VERSION
RETURNS (VERSION_NO INTEGER)
AS
BEGIN
  SELECT VERSION_NO FROM PROJECT_INFO INTO :VERSION_NO;
  SUSPEND;
END^
SET TERM ; ^

UPDATE PROJECT_INFO SET VERSION_NO = 107, RELEASE_NO = 0;
COMMIT;
