-- Statements that fail in different ways, between statements that work.
set sql dialect 3;
create table dept (id integer not null primary key, name varchar(10) not null);
create table emp (id integer not null primary key, dept integer references dept (id),
                  salary numeric(9, 2) check (salary >= 0), code smallint);
create exception e_rule 'Rule ~R1~ broken: it''s; wrong';
insert into dept values (1, 'Sales');
insert into dept values (1, 'Again');                 -- duplicate key
insert into dept values (2, 'Far too long a name');   -- string truncation
insert into dept values (3, null);                    -- not null
insert into emp values (10, 9, 100, 1);               -- foreign key
insert into emp values (11, 1, -5, 1);                -- check constraint
insert into emp values (12, 1, 10, 70000);            -- numeric overflow
insert into emp values (13, 1, 'abc', 1);             -- conversion
select 1 / 0 from rdb$database;                       -- division by zero
select * from no_such_table;
select no_such_column from dept;
selec 1 from rdb$database;                            -- syntax
create table dept (id integer);                       -- exists already
commit;
set term !! ;
create procedure raise_rule (x integer) as
begin
  if (x > 1) then exception e_rule;
  insert into emp values (:x, 1, 1; 1);
end !!
create procedure raise_rule (x integer) as
begin
  if (x > 1) then exception e_rule;
  insert into emp (id, dept, salary, code) values (:x, 1, 1, 1);
end !!
set term ; !!
execute procedure raise_rule(1);
execute procedure raise_rule(2);
execute procedure no_such_procedure;
insert into emp (id, dept, salary, code) values (20, 1, 5, 5);
insert into emp (id, dept, salary, code) values (20, 1, 5, 5);
create unique index ux_code on emp (code);            -- duplicates found at commit
rollback;
insert into emp (id, dept, salary, code) values (21, 1, q'{7;}' , 2);
insert into emp (id, dept, salary, code) values (22, 1, 3, 3);
update emp set salary = salary / 0;
delete from dept where id = 1;                        -- referenced
alter table emp drop no_such_column;
drop table no_such_table;
commit;
