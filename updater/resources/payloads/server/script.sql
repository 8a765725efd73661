/* Structure synchronisation script of the sample payload. It runs against
   the working copy of the database; the maker's payload carries the real one. */
SET TERM ^ ;
CREATE OR ALTER PROCEDURE SAMPLE_STRUCTURE_VERSION
RETURNS (VERSION_NO INTEGER)
AS
BEGIN
  VERSION_NO = 107;
  SUSPEND;
END^
SET TERM ; ^
COMMIT;
