/* A structure script whose second statement fails: the table it alters
   does not exist. The first and last statements succeed. */
CREATE TABLE RUN_MARK (ID INTEGER);
COMMIT;
ALTER TABLE NO_SUCH_TABLE ADD NOTE VARCHAR(20);
COMMIT;
CREATE TABLE RUN_MARK_2 (ID INTEGER);
COMMIT;
