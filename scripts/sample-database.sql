/* The sample Tamber database as an earlier update left it: version 106
   release 1 of the project G (Tamber), UTF8's default collation UNICODE, and
   some data. Run by isql-fb against a new WIN1251 database, with the
   connection character set UTF8. The project's own procedures check_project
   and Check_Versio fail on a database of another project or version; the
   version's message holds the words meant for the user between tildes. */
alter character set UTF8 set default collation UNICODE;
commit;
create table project_info (code char(1) not null, version_no integer not null, release_no integer not null);
insert into project_info values ('G', 106, 1);
create table customers (id integer not null primary key, name varchar(60));
insert into customers values (1, 'ООО "Норвел"');
insert into customers values (2, 'Tamber Ltd');
insert into customers values (3, 'Завод "Марклет"');
create exception e_wrong_project 'The database belongs to another project';
create exception e_version 'Версия не подходит: ~Database is too old~ (106.1 expected)';
set term ^;
create procedure check_project (p char(1)) as
  declare c char(1);
begin
  select code from project_info into :c;
  if (c is distinct from p) then exception e_wrong_project;
end^
create procedure check_versio (v integer, r integer) as
  declare cv integer;
  declare cr integer;
begin
  select version_no, release_no from project_info into :cv, :cr;
  if (cv is distinct from v or cr is distinct from r) then exception e_version;
end^
set term ;^
commit;
