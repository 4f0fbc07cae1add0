<HTML><BODY><UL>
<LI><OBJECT type="text/sitemap"><param name="Name" value="From .hh"><param name="Local" value="a.htm"></OBJECT>
</UL></BODY></HTML>
